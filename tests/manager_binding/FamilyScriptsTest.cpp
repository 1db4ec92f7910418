// The engine, system, threaded, resource and mixer families as scripts see
// them: each tests/data/script_families/<name>.nut runs against a core whose
// current mixer and renderer record the calls they get, and the log it
// produces (code locations left out) must equal <name>.out.
#include "BindingTestSupport.h"

#include "core/geometry/zGeometry.h"
#include "core/material/zMaterial.h"
#include "core/render/zNullRenderer.h"
#include "core/resource/zTexture.h"
#include "core/sound/zMixer.h"
#include "core/sound/zSound.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/system/zLogStream.h"

#include <fstream>
#include <sstream>

namespace {

// A mixer that writes every operation it gets to the log; channels play,
// pause and stop as the script asks.
class RecordingMixer : public zMixer {
public:
    explicit RecordingMixer(Tavrin* core) : zMixer(core, true) { audioOpen = 1; }

    bool OpenAudio() override { return true; }
    void CloseAudio() override {}
    void SetListenerMatrix(const zVector*, const zVector*, const zMatrix3*) override {}
    bool StartChannel(int32_t channel, zSound* sound) override
    {
        Log() << "StartChannel " << channel << " " << (sound != nullptr ? sound->id.Get() : "null") << "\n";
        if (sound == nullptr)
            return false;
        state[channel] = ChannelPlaying;
        channels[channel].sound = sound;
        return true;
    }
    void StopChannel(int32_t channel) override
    {
        Log() << "StopChannel " << channel << "\n";
        state[channel] = ChannelIdle;
        channels[channel].sound = nullptr;
    }
    void PauseChannel(int32_t channel) override
    {
        Log() << "PauseChannel " << channel << "\n";
        state[channel] = 3;
    }
    void ResumeChannel(int32_t channel) override
    {
        Log() << "ResumeChannel " << channel << "\n";
        state[channel] = ChannelPlaying;
    }
    int32_t GetChannelState(int32_t channel) override { return state[channel]; }
    bool SetupSound(zSound*) override { return true; }
    void FreeSound(zSound*) override {}
    void SetMasterGain(float gain) override
    {
        Log() << "SetMasterGain " << gain << "\n";
        master = gain;
    }
    float GetMasterGain() override { return master; }
    bool StreamStart(int32_t channel, const dAV_AudioFormat&) override
    {
        Log() << "StreamStart " << channel << "\n";
        return true;
    }
    void StreamRefill(int32_t) override {}
    void StreamStop(int32_t) override {}
    void SetChannelGain(int32_t channel, float gain) override
    {
        Log() << "SetChannelGain " << channel << " " << gain << "\n";
        zMixer::SetChannelGain(channel, gain);
    }
    void SetChannelPitch(int32_t channel, float pitch) override
    {
        Log() << "SetChannelPitch " << channel << " " << pitch << "\n";
        zMixer::SetChannelPitch(channel, pitch);
    }
    void SetChannelLoop(int32_t channel, int32_t loop) override
    {
        Log() << "SetChannelLoop " << channel << " " << loop << "\n";
        zMixer::SetChannelLoop(channel, loop);
    }
    void SetChannelLoopPoint(int32_t channel, int32_t milliseconds) override
    {
        Log() << "SetChannelLoopPoint " << channel << " " << milliseconds << "\n";
        zMixer::SetChannelLoopPoint(channel, milliseconds);
    }

private:
    static zLogStream& Log() { return *GlobalLogStream << "[mixer] "; }

    int32_t state[ChannelCount] = {};
    float master = 1.0f;

public:
    void ResetStates()
    {
        for (int32_t& s : state)
            s = ChannelIdle;
    }
};

class RecordingRenderer : public zNullRenderer {
public:
    explicit RecordingRenderer(Tavrin* core) : zNullRenderer(core, true) {}
    void UpdateTexture(zTexture* texture, const uint8_t* pixels, int32_t width, int32_t height, int32_t x,
                       int32_t y) override
    {
        *GlobalLogStream << "[renderer] UpdateTexture " << texture->id.Get() << " " << width << "x" << height << " at "
                         << x << "," << y << (pixels != nullptr ? " with pixels" : " without pixels") << "\n";
    }
};

Tavrin* testCore = nullptr;

// TestNullHandle(kind): a handle of that kind without an object.
SQInteger TestNullHandle(HSQUIRRELVM v)
{
    SQInteger kind = 0;
    sq_getinteger(v, 2, &kind);
    SqPushSafePtr(v, nullptr, kind);
    return 1;
}

// TestEngine(): the test's core.
SQInteger TestEngine(HSQUIRRELVM v)
{
    SqPushSafePtr(v, testCore, SqPtrEngine);
    return 1;
}

// TestSound(name, rate, frames): a 16-bit mono sound in the core's current set.
SQInteger TestSound(HSQUIRRELVM v)
{
    const SQChar* name = nullptr;
    SQInteger rate = 0;
    SQInteger frames = 0;
    sq_getstring(v, 2, &name);
    sq_getinteger(v, 3, &rate);
    sq_getinteger(v, 4, &frames);
    zSound* sound = zSound::New(testCore, name);
    // The duration needs the frame count and rate, not the memory.
    sound->sample.frameCount = int32_t(frames);
    sound->sample.format.rate = int32_t(rate);
    SqPushSafePtr(v, sound, SqPtrSound);
    return 1;
}

// TestTexture(name, width, height, keepPixels): a texture in the current set
// whose picture has pixels, or only its size as after an upload that let the
// pixels go.
SQInteger TestTexture(HSQUIRRELVM v)
{
    const SQChar* name = nullptr;
    SQInteger width = 0;
    SQInteger height = 0;
    SQBool keep = SQTrue;
    sq_getstring(v, 2, &name);
    sq_getinteger(v, 3, &width);
    sq_getinteger(v, 4, &height);
    sq_getbool(v, 5, &keep);
    zTexture* texture = zTexture::New(testCore, name, 0, 0, false, 0.5f);
    texture->picture.AllocAs(int32_t(width), int32_t(height), PixelFormatARGB32);
    if (!keep) {
        texture->picture.Free();
        texture->picture.SetSizeOnly(int32_t(width), int32_t(height));
    }
    SqPushSafePtr(v, texture, SqPtrTexture);
    return 1;
}

// TestGeometry(name, materials...): a geometry in the current set with
// materials of those names.
SQInteger TestGeometry(HSQUIRRELVM v)
{
    const SQChar* name = nullptr;
    sq_getstring(v, 2, &name);
    zGeometry* geometry = zGeometry::New(testCore, name);
    const SQInteger count = sq_gettop(v) - 2;
    geometry->AllocateMaterials(uint32_t(count), true);
    for (SQInteger i = 0; i < count; ++i) {
        const SQChar* material = nullptr;
        sq_getstring(v, 3 + i, &material);
        geometry->materials[i]->name = material;
    }
    SqPushSafePtr(v, geometry, SqPtrGeometry);
    return 1;
}

// TestCounts(): "textures/geometries/sounds" of the built-in set.
SQInteger TestCounts(HSQUIRRELVM v)
{
    std::string text = std::to_string(testCore->resources.GetTextures().GetCount()) + "/" +
                       std::to_string(testCore->resources.GetGeometries().GetCount()) + "/" +
                       std::to_string(testCore->resources.GetSounds().GetCount());
    sq_pushstring(v, text.c_str(), -1);
    return 1;
}

// TestCurrentSetIsBuiltIn(): whether the core's current set is its own.
SQInteger TestCurrentSetIsBuiltIn(HSQUIRRELVM v)
{
    sq_pushbool(v, testCore->currentResources == &testCore->resources);
    return 1;
}

// TestPictureSize(picture): "WxH" of a picture handle.
SQInteger TestPictureSize(HSQUIRRELVM v)
{
    zPicture* picture = nullptr;
    if (!SqGetSafePtr(v, 2, &picture, SqPtrPicture))
        return sq_suspendvm(v);
    const std::string text =
        picture != nullptr ? std::to_string(picture->width) + "x" + std::to_string(picture->height) : "none";
    sq_pushstring(v, text.c_str(), -1);
    return 1;
}

SQInteger TestClockGlobals(HSQUIRRELVM v)
{
    std::string text = "scale " + std::to_string(GlobalClockScale) + " step " + std::to_string(GlobalFixedFrameStep) +
                       " frequency " + std::to_string(GlobalFixedFrameFrequency) + " drift " +
                       std::to_string(GlobalClockDrift) + " autosetup " + std::to_string(GlobalResourceAutoSetup);
    sq_pushstring(v, text.c_str(), -1);
    return 1;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class FamilyScript : public BindingFixture, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        savedScale = GlobalClockScale;
        savedStep = GlobalFixedFrameStep;
        savedFrequency = GlobalFixedFrameFrequency;
        savedAutoSetup = GlobalResourceAutoSetup;
        testCore = &core;
        mixer.ResetStates();
        BindingFixture::SetUp();
        Register("TestEngine", TestEngine, "t");
        Register("TestNullHandle", TestNullHandle, "tn");
        Register("TestSound", TestSound, "tsii");
        Register("TestTexture", TestTexture, "tsiib");
        Register("TestGeometry", TestGeometry);
        Register("TestCounts", TestCounts, "t");
        Register("TestCurrentSetIsBuiltIn", TestCurrentSetIsBuiltIn, "t");
        Register("TestClockGlobals", TestClockGlobals, "t");
        Register("TestPictureSize", TestPictureSize, "t.");
    }
    void TearDown() override
    {
        master.StopVM();
        testCore = nullptr;
        GlobalClockScale = savedScale;
        GlobalFixedFrameStep = savedStep;
        GlobalFixedFrameFrequency = savedFrequency;
        GlobalResourceAutoSetup = savedAutoSetup;
    }

    Tavrin core;
    RecordingMixer mixer{&core};
    RecordingRenderer renderer{&core};
    int32_t savedScale = 0;
    int32_t savedStep = 0;
    int32_t savedFrequency = 0;
    uint8_t savedAutoSetup = 0;
};

TEST_P(FamilyScript, PrintsExpectedLog)
{
    const std::string name = GetParam();
    const std::string dir = std::string(TAVRIN_TEST_DATA) + "/script_families/";
    const std::string source = ReadFile(dir + name + ".nut");
    const std::string expected = ReadFile(dir + name + ".out");
    ASSERT_FALSE(source.empty());
    const bool loaded = Load(name + ".nut", source);
    const std::string state = std::string("[test] loaded=") + (loaded ? "true" : "false") +
                              " ok=" + (master.IsOk() ? "true" : "false") +
                              " vm=" + (sq_getvmstate(v) == SQ_VMSTATE_SUSPENDED ? "suspended" : "idle") + "\n";
    EXPECT_EQ(expected, Text() + state);
}

const char* const kFamilyCases[] = {
    "mixer_functions", "mixer_channel_range", "mixer_null_and_wrong_kind", "system_functions",
    "engine_clock", "engine_resources", "resource_sets", "resource_functions", "threaded_functions",
    "engine_texture_content",
};

INSTANTIATE_TEST_SUITE_P(Scripts, FamilyScript, ::testing::ValuesIn(kFamilyCases),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

} // namespace
