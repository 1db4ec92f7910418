#include "bfat/sample/zSampleIO.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

std::string U16(uint16_t value)
{
    return std::string{char(value & 0xFF), char(value >> 8)};
}

std::string U32(uint32_t value)
{
    return U16(uint16_t(value)) + U16(uint16_t(value >> 16));
}

std::string Chunk(const char* id, const std::string& content, uint32_t size)
{
    return std::string(id, 4) + U32(size) + content;
}

std::string Chunk(const char* id, const std::string& content)
{
    return Chunk(id, content, uint32_t(content.size()));
}

std::string Format(uint16_t channels, uint32_t rate, uint16_t bits, size_t extra = 0)
{
    return Chunk("fmt ", U16(1) + U16(channels) + U32(rate) + U32(rate * channels * bits / 8) + U16(uint16_t(channels * bits / 8)) +
            U16(bits) + std::string(extra, '\0'));
}

std::string Wave(const std::string& chunks, const char* riff = "RIFF", const char* type = "WAVE")
{
    return std::string(riff, 4) + U32(uint32_t(chunks.size() + 4)) + std::string(type, 4) + chunks;
}

std::string Pcm(size_t size, char seed)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = char(seed + char(i * 3));
    return bytes;
}

class SampleTest : public testing::Test {
protected:
    std::string Write(const std::string& bytes) { return directory.Write("sound.wav", bytes); }

    TempDir directory;
    zSample sample;
};

TEST_F(SampleTest, NewSampleIsEmptyStereo48kHz16Bit)
{
    EXPECT_EQ(sample.frameCount, 0);
    EXPECT_EQ(sample.data, nullptr);
    EXPECT_EQ(sample.format.channels, 2);
    EXPECT_EQ(sample.format.rate, 48000);
    EXPECT_EQ(sample.format.bits, 16);
}

TEST_F(SampleTest, AllocAsSizesTheBufferFromTheFormat)
{
    struct Case {
        int32_t frames, channels, bits;
        uint32_t bytes;
    };
    for (const Case& test : {Case{100, 2, 16, 400}, Case{7, 1, 8, 7}, Case{10, 6, 24, 180}, Case{0, 2, 16, 0}}) {
        zSampleFormat format;
        format.channels = test.channels;
        format.bits = test.bits;
        format.rate = 22050;
        uint8_t* buffer = sample.AllocAs(test.frames, format);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(sample.data, buffer);
        EXPECT_EQ(sample.frameCount, test.frames);
        EXPECT_EQ(sample.GetByteSize(), test.bytes);
        EXPECT_EQ(sample.format.rate, 22050);
        if (test.bytes != 0)
            buffer[test.bytes - 1] = 1; // the whole buffer is there
    }
}

TEST_F(SampleTest, FailedAllocationLeavesTheSampleEmpty)
{
    zSampleFormat format;
    ASSERT_NE(sample.AllocAs(10, format), nullptr);
    for (int32_t frames : {-1, INT32_MAX}) {
        format.channels = 8;
        format.bits = 32;
        LogCapture capture;
        EXPECT_EQ(sample.AllocAs(frames, format), nullptr);
        EXPECT_TRUE(capture.Contains("[!] zSample::AllocAs"));
        EXPECT_TRUE(capture.Contains("Failed to allocate raw PCM sample buffer."));
        EXPECT_EQ(sample.data, nullptr);
        EXPECT_EQ(sample.frameCount, 0);
    }
}

TEST_F(SampleTest, LoadsAWaveFile)
{
    const std::string pcm = Pcm(400, 5);
    const std::string path = Write(Wave(Format(2, 44100, 16) + Chunk("LIST", "abc") + Chunk("data", pcm)));
    LogCapture capture;
    ASSERT_TRUE(zSampleIO::Load(sample, path.c_str()));
    EXPECT_EQ(sample.frameCount, 100);
    EXPECT_EQ(sample.format.channels, 2);
    EXPECT_EQ(sample.format.rate, 44100);
    EXPECT_EQ(sample.format.bits, 16);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sample.data), 400), pcm);
    EXPECT_TRUE(capture.Contains("Sample format: 44KHz@16bit, 2 channel(s)."));
    EXPECT_FALSE(capture.Contains("[!]"));
}

TEST_F(SampleTest, OtherFilesAreNotSamples)
{
    struct Case {
        const char* name;
        std::string bytes;
    };
    const std::string chunks = Format(1, 8000, 8) + Chunk("data", Pcm(10, 1));
    for (const Case& test : {Case{"RIFX", Wave(chunks, "RIFX")}, Case{"AVI", Wave(chunks, "RIFF", "AVI ")}, Case{"short", "RIFF"},
             Case{"empty", ""}}) {
        SCOPED_TRACE(test.name);
        const std::string path = Write(test.bytes);
        {
            LogCapture capture;
            EXPECT_FALSE(lowlevel_wav_load(path.c_str(), sample));
            EXPECT_TRUE(capture.lines.empty());
        }
        LogCapture capture;
        EXPECT_FALSE(zSampleIO::Load(sample, path.c_str()));
        EXPECT_TRUE(capture.Contains("[!] zSampleIO::Load"));
        EXPECT_TRUE(capture.Contains("No sample decoder for '" + path + "'!"));
    }
    LogCapture capture;
    EXPECT_FALSE(zSampleIO::Load(sample, directory.Path("missing.wav").c_str()));
    EXPECT_TRUE(capture.lines.empty());
}

TEST_F(SampleTest, LongFormatChunkIsWarnedAboutAndRead)
{
    const std::string path = Write(Wave(Format(1, 22050, 8, 2) + Chunk("data", Pcm(30, 2))));
    LogCapture capture;
    ASSERT_TRUE(zSampleIO::Load(sample, path.c_str()));
    EXPECT_TRUE(capture.Contains("[*] lowlevel_wav_load"));
    EXPECT_TRUE(capture.Contains("Unexpected WAV 'format' chunk size. Found 18, expected 16."));
    EXPECT_EQ(sample.frameCount, 30);
    EXPECT_EQ(sample.format.rate, 22050);
}

TEST_F(SampleTest, ChunksAreWalkedByTheirExactSizes)
{
    // An odd-sized chunk has no pad byte; a second data chunk replaces the first.
    const std::string path = Write(Wave(Format(1, 8000, 8) + Chunk("odd ", "xyz") + Chunk("data", Pcm(10, 1)) + Chunk("data", Pcm(6, 9))));
    ASSERT_TRUE(zSampleIO::Load(sample, path.c_str()));
    EXPECT_EQ(sample.frameCount, 6);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sample.data), 6), Pcm(6, 9));
}

TEST_F(SampleTest, PartialFrameAtTheEndOfTheDataIsDropped)
{
    const std::string path = Write(Wave(Format(2, 8000, 16) + Chunk("data", Pcm(11, 3)) + Chunk("tail", "!")));
    ASSERT_TRUE(zSampleIO::Load(sample, path.c_str()));
    EXPECT_EQ(sample.frameCount, 2);
    EXPECT_EQ(sample.GetByteSize(), 8u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sample.data), 8), Pcm(8, 3));
}

TEST_F(SampleTest, DamagedFilesFailWithTheirReason)
{
    struct Case {
        const char* name;
        std::string bytes;
        const char* message;
    };
    const std::string format = Format(2, 44100, 16);
    const std::string wrongBits = Chunk("fmt ", U16(1) + U16(2) + U32(44100) + U32(0) + U16(0) + U16(4));
    const std::string oddBits = Chunk("fmt ", U16(1) + U16(1) + U32(8000) + U32(0) + U16(0) + U16(12));
    const std::string noChannels = Chunk("fmt ", U16(1) + U16(0) + U32(44100) + U32(0) + U16(0) + U16(16));
    for (const Case& test : {
             Case{"format only", Wave(format), "Sample format: 44KHz@16bit, 2 channel(s)."},
             Case{"truncated format", Wave(format.substr(0, 15)), "Mangled WAV 'format' chunk in '"},
             Case{"short format", Wave(Chunk("fmt ", Pcm(12, 0)) + Chunk("data", Pcm(8, 0))), "Mangled WAV 'format' chunk in '"},
             Case{"truncated data", Wave(format + Chunk("data", Pcm(100, 1), 400)), "mangled WAV 'data' chunk in '"},
             Case{"data larger than any file", Wave(format + Chunk("data", Pcm(8, 1), 0xFFFFFFF0u)), "mangled WAV 'data' chunk in '"},
             Case{"data before format", Wave(Chunk("data", Pcm(8, 1)) + format), "WAV 'data' chunk without a usable format"},
             Case{"bits below 8", Wave(wrongBits + Chunk("data", Pcm(8, 1))), "WAV 'data' chunk without a usable format"},
             Case{"bits not whole bytes", Wave(oddBits + Chunk("data", Pcm(8, 1))), "WAV 'data' chunk without a usable format"},
             Case{"no channels", Wave(noChannels + Chunk("data", Pcm(8, 1))), "WAV 'data' chunk without a usable format"},
             Case{"chunk past the end", Wave(format + Chunk("junk", "ab", 0x7FFFFFF0u) + Chunk("data", Pcm(8, 1))), nullptr},
         }) {
        SCOPED_TRACE(test.name);
        const std::string path = Write(test.bytes);
        LogCapture capture;
        EXPECT_FALSE(zSampleIO::Load(sample, path.c_str()));
        if (test.message != nullptr) {
            EXPECT_TRUE(capture.Contains(test.message));
        }
        EXPECT_TRUE(capture.Contains("No sample decoder for '"));
        EXPECT_TRUE(sample.data == nullptr || sample.frameCount > 0);
    }
}

TEST_F(SampleTest, OnlyPcmDataIsRead)
{
    struct Case {
        const char* name;
        uint16_t tag;
        std::string extension; // bytes after the 16 common ones
        bool loads;
    };
    const std::string pcmGuid = U16(1) + std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    const std::string floatGuid = U16(3) + pcmGuid.substr(2);
    const std::string extensible = U16(22) + U16(16) + U32(3);
    for (const Case& test : {
             Case{"pcm", 1, "", true},
             Case{"adpcm", 2, U16(0), false},
             Case{"float", 3, "", false},
             Case{"mu-law", 7, U16(0), false},
             Case{"extensible pcm", 0xFFFE, extensible + pcmGuid, true},
             Case{"extensible float", 0xFFFE, extensible + floatGuid, false},
             Case{"extensible cut short", 0xFFFE, U16(0), false},
         }) {
        SCOPED_TRACE(test.name);
        const std::string fmt = Chunk("fmt ", U16(test.tag) + U16(2) + U32(8000) + U32(32000) + U16(4) + U16(16) + test.extension);
        const std::string path = Write(Wave(fmt + Chunk("data", Pcm(16, 5))));
        LogCapture capture;
        EXPECT_EQ(zSampleIO::Load(sample, path.c_str()), test.loads);
        if (test.loads) {
            EXPECT_EQ(sample.frameCount, 4);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(sample.data), 16), Pcm(16, 5));
        } else {
            const unsigned tag = test.tag;
            const unsigned shown = test.extension.size() >= 24 ? uint8_t(test.extension[8]) : tag;
            EXPECT_TRUE(capture.Contains("Unsupported WAV format tag " + std::to_string(shown) + " in '" + path + "': only PCM is read."));
            EXPECT_EQ(sample.data, nullptr);
        }
    }
}

} // namespace
