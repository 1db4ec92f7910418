#include "dav/DavTestSupport.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

enum class Damage { Truncate, Flip, Garbage, Repeat };

struct Case {
    const char* file;
    Damage damage;
    uint32_t seed;
};

const char* const DamageNames[] = {"Truncate", "Flip", "Garbage", "Repeat"};

std::string Name(const testing::TestParamInfo<Case>& info)
{
    std::string name = info.param.file;
    for (char& c : name)
        if (c == '.')
            c = '_';
    return name + "_" + DamageNames[int(info.param.damage)] + "_" + std::to_string(info.param.seed);
}

// Names the case in test listings and failure messages.
void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.file << " " << DamageNames[int(c.damage)] << " seed " << c.seed;
}

Bytes Damaged(const Bytes& original, Damage damage, uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes = original;
    switch (damage) {
    case Damage::Truncate:
        bytes.resize(size_t(random()) % bytes.size());
        break;
    case Damage::Flip:
        for (int i = 0; i < 20; ++i)
            bytes[size_t(random()) % bytes.size()] ^= uint8_t(1u << (random() % 8));
        break;
    case Damage::Garbage: {
        Bytes garbage(size_t(random()) % 3000 + 1);
        for (uint8_t& byte : garbage)
            byte = uint8_t(random());
        bytes.insert(bytes.begin() + long(size_t(random()) % bytes.size()), garbage.begin(), garbage.end());
        break;
    }
    case Damage::Repeat: {
        // A stretch copied over another place: packets and pages cut mid-way.
        const size_t from = size_t(random()) % bytes.size();
        const size_t to = size_t(random()) % bytes.size();
        const size_t count = std::min({size_t(random()) % 2000, bytes.size() - from, bytes.size() - to});
        std::copy(original.begin() + long(from), original.begin() + long(from + count), bytes.begin() + long(to));
        break;
    }
    }
    return bytes;
}

class MalformedStreamTest : public testing::TestWithParam<Case> {};

// Damaged files either fail to open or play to their end: no crash, no hang,
// and the stream can be sought, rewound and closed afterwards.
TEST_P(MalformedStreamTest, PlaysOrFailsCleanly)
{
    const Case& test = GetParam();
    const Bytes original = ReadFileBytes(MediaPath(test.file));
    ASSERT_FALSE(original.empty());
    const Bytes bytes = Damaged(original, test.damage, test.seed);
    TempDir directory;
    const std::string path = directory.Write("damaged.bin", std::string(bytes.begin(), bytes.end()));

    RecordingVideoDriver video;
    RecordingAudioDriver audio;
    audio.fullAt = 8192;
    dAV_Stream stream(&video, &audio);
    if (!stream.Open(path.c_str())) {
        EXPECT_EQ(stream.GetState(), dAV_Stream::Closed);
        return;
    }
    EXPECT_TRUE(PlayToEnd(stream, &audio, 20000));
    EXPECT_EQ(audio.pcm.size() % size_t(audio.current.GetFrameBytes()), 0u);
    EXPECT_TRUE(stream.Seek(300));
    EXPECT_TRUE(PlayToEnd(stream, &audio, 20000));
    stream.Rewind();
    EXPECT_TRUE(PlayToEnd(stream, &audio, 20000));
    stream.Close();
    EXPECT_EQ(stream.GetState(), dAV_Stream::Closed);
}

std::vector<Case> Cases()
{
    std::vector<Case> cases;
    for (const char* file : {"av_mpeg1.mpg", "av_mpeg2.vob", "tone.mp2", "tone.mp3", "tone.ogg"})
        for (Damage damage : {Damage::Truncate, Damage::Flip, Damage::Garbage, Damage::Repeat})
            for (uint32_t seed = 1; seed <= 4; ++seed)
                cases.push_back({file, damage, seed});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Files, MalformedStreamTest, testing::ValuesIn(Cases()), Name);

} // namespace
