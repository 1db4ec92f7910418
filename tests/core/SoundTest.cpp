#include "ResourceTestSupport.h"
#include "support/LogCapture.h"

#include "core/resource/zTexture.h"
#include "core/sound/zSound.h"
#include "core/zad/Tavrin.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// A RIFF WAVE file of 16-bit PCM.
std::string MakeWav(int32_t frames, int32_t channels, int32_t rate)
{
    std::string out;
    auto u32 = [&out](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(char((v >> (8 * i)) & 0xff));
    };
    auto u16 = [&out](uint16_t v) {
        out.push_back(char(v & 0xff));
        out.push_back(char(v >> 8));
    };
    const uint32_t dataBytes = uint32_t(frames * channels * 2);
    out += "RIFF";
    u32(36 + dataBytes);
    out += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(uint16_t(channels));
    u32(uint32_t(rate));
    u32(uint32_t(rate * channels * 2));
    u16(uint16_t(channels * 2));
    u16(16);
    out += "data";
    u32(dataBytes);
    for (uint32_t i = 0; i < dataBytes; ++i)
        out.push_back(char(i * 3));
    return out;
}

// A mixer that records which sounds it is asked to set up and free.
class SoundRecordingMixer : public RecordingMixer {
public:
    using RecordingMixer::RecordingMixer;

    bool SetupSound(zSound* sound) override
    {
        setups.push_back(sound);
        return true;
    }
    void FreeSound(zSound* sound) override { frees.push_back(sound); }

    int CountSetups(const zSound* sound) const
    {
        int n = 0;
        for (const zSound* s : setups)
            n += s == sound ? 1 : 0;
        return n;
    }

    std::vector<zSound*> setups;
    std::vector<zSound*> frees;
};

std::vector<std::string> missingPaths;
const char* missingReplacement = nullptr;
std::vector<zSound*> loadedSounds;
std::vector<std::string> progressSteps;

void RecordMissing(zString& path)
{
    missingPaths.emplace_back(path.Get() != nullptr ? path.Get() : "");
    if (missingReplacement != nullptr)
        path = missingReplacement;
}

void RecordLoaded(zSound* sound)
{
    loadedSounds.push_back(sound);
}

void RecordProgress(const char* step)
{
    progressSteps.emplace_back(step);
}

class SoundTest : public ::testing::Test {
protected:
    SoundTest() : mixer(&core, true), renderer(&core, true)
    {
        missingPaths.clear();
        missingReplacement = nullptr;
        loadedSounds.clear();
        progressSteps.clear();
    }

    ResourceFiles files;
    Tavrin core;
    SoundRecordingMixer mixer;
    ResourceRecordingRenderer renderer;
};

TEST_F(SoundTest, NewAppendsToTheCacheAndNamesAnUnnamedSoundSd)
{
    zSound* named = zSound::New(&core, "boom");
    zSound* unnamed = zSound::New(&core, nullptr);
    ASSERT_NE(named, nullptr);
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(named->id, "boom");
    EXPECT_EQ(unnamed->id, "sd");
    EXPECT_EQ(core.GetSounds().GetFirst(), named);
    EXPECT_EQ(core.GetSounds().GetLast(), unnamed);
    EXPECT_EQ(unnamed->sample.frameCount, 0);
    EXPECT_EQ(unnamed->mixerData, nullptr);
}

TEST_F(SoundTest, DeletingASoundFreesItOnTheMixerAndLeavesTheCache)
{
    zSound* doomed = zSound::New(&core, "doomed");
    zSound* kept = zSound::New(&core, "kept");
    delete doomed;
    EXPECT_EQ(mixer.frees, std::vector<zSound*>{doomed});
    EXPECT_EQ(core.GetSounds().GetCount(), 1);
    EXPECT_EQ(core.GetSounds().GetFirst(), kept);
    core.DeleteAllResources();
    EXPECT_EQ(core.GetSounds().GetCount(), 0);
    EXPECT_EQ(mixer.frees, (std::vector<zSound*>{doomed, kept}));
}

TEST_F(SoundTest, ASecondLoadOfTheSamePathReturnsTheCachedSoundWithoutTouchingTheFile)
{
    files.Write("sfx/boom.wav", MakeWav(10, 2, 22050));
    GlobalSoundLoadedHook = RecordLoaded;
    LogCapture capture;
    zSound* sound = core.LoadSound("sfx/boom.wav");
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->id, "sfx/boom.wav");
    EXPECT_EQ(sound->path, "sfx/boom.wav");
    EXPECT_EQ(sound->sample.frameCount, 10);
    EXPECT_EQ(sound->sample.format.channels, 2);
    EXPECT_EQ(sound->sample.format.rate, 22050);
    EXPECT_TRUE(capture.Contains("Loading sound 'sfx/boom.wav'."));
    EXPECT_EQ(loadedSounds, std::vector<zSound*>{sound});
    EXPECT_EQ(mixer.CountSetups(sound), 1);

    std::filesystem::remove(files.dir.Path("sfx/boom.wav"));
    EXPECT_EQ(core.LoadSound("sfx/boom.wav"), sound);
    EXPECT_EQ(core.GetSounds().GetCount(), 1);
    EXPECT_EQ(mixer.CountSetups(sound), 1) << "a cache hit is not set up again";
}

TEST_F(SoundTest, AMissingFileLeavesAnEmptyCachedSoundAndTellsTheHookOncePerName)
{
    GlobalSoundMissingHook = RecordMissing;
    GlobalSoundLoadedHook = RecordLoaded;
    LogCapture capture;
    zSound* sound = core.LoadSound("gone.wav");
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->id, "gone.wav");
    EXPECT_TRUE(sound->path.IsEmpty());
    EXPECT_EQ(sound->sample.data, nullptr);
    EXPECT_TRUE(capture.Contains("Failed to locate 'gone.wav', could not load sound."));
    EXPECT_EQ(core.LoadSound("gone.wav"), sound);
    EXPECT_EQ(missingPaths, std::vector<std::string>{"gone.wav"});
    EXPECT_TRUE(loadedSounds.empty());
    EXPECT_EQ(mixer.CountSetups(sound), 1) << "an empty sound is set up all the same";
}

TEST_F(SoundTest, AHookThatNamesAnotherFileLoadsItUnderThatNameWithoutItsSearchPath)
{
    files.Write("fallback/missing.wav", MakeWav(4, 1, 8000));
    GlobalSearchPathList.Add(zString("fallback"));
    GlobalSoundMissingHook = RecordMissing;
    missingReplacement = "fallback/missing.wav";
    zSound* first = core.LoadSound("a.wav");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->id, "/missing.wav");
    EXPECT_EQ(first->path, "fallback/missing.wav");
    EXPECT_EQ(first->sample.frameCount, 4);
    EXPECT_EQ(core.LoadSound("b.wav"), first);
    EXPECT_EQ(missingPaths, (std::vector<std::string>{"a.wav", "b.wav"}));
}

TEST_F(SoundTest, UnreadableWavFilesLeaveAnEmptyCachedSoundWithAWarning)
{
    struct Case {
        const char* path;
        std::string bytes;
    };
    const std::string wav = MakeWav(8, 1, 11025);
    const Case cases[] = {
        {"garbage.wav", "definitely not RIFF"},
        {"empty.wav", ""},
        {"header.wav", wav.substr(0, 20)},
        {"nodata.wav", wav.substr(0, 36)},
    };
    GlobalSoundLoadedHook = RecordLoaded;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        files.Write(c.path, c.bytes);
        LogCapture capture;
        zSound* sound = core.LoadSound(c.path);
        ASSERT_NE(sound, nullptr);
        EXPECT_EQ(sound->sample.data, nullptr);
        EXPECT_EQ(sound->sample.frameCount, 0);
        EXPECT_EQ(sound->path, c.path);
        EXPECT_TRUE(core.GetSounds().Contains(sound));
        EXPECT_TRUE(capture.Contains(std::string("Failed to load sound from '") + c.path + "'."));
    }
    EXPECT_TRUE(loadedSounds.empty());
}

TEST_F(SoundTest, WithAutoSetupClearedSoundsAndTexturesWaitForSetupResourcesWhichGoesInCacheOrder)
{
    files.Write("a.wav", MakeWav(2, 1, 8000));
    files.Write("a.tga", MakeTga(1, 1));
    GlobalResourceAutoSetup = 0;
    zSound* sound = core.LoadSound("a.wav");
    zTexture* texture = core.LoadTexture("a.tga", true, true, 0.5f, false);
    EXPECT_EQ(mixer.CountSetups(sound), 0);
    EXPECT_EQ(renderer.CountSetups(texture), 0);

    GlobalSetupProgressHook = RecordProgress;
    core.SetupResources();
    EXPECT_EQ(mixer.CountSetups(sound), 1);
    EXPECT_EQ(renderer.CountSetups(texture), 1);
    EXPECT_EQ(progressSteps, (std::vector<std::string>{"Texture Setup", "Sound Setup"}));
}

TEST_F(SoundTest, ANullPathIsRefused)
{
    LogCapture capture;
    EXPECT_EQ(core.LoadSound(nullptr), nullptr);
    EXPECT_TRUE(capture.Contains("Tavrin::LoadSound"));
    EXPECT_EQ(core.GetSounds().GetCount(), 0);
}

} // namespace
