#include "framework/tools/zAsciiEncoder.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(size_t count, uint32_t seed)
{
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }
    return bytes;
}

std::string UU(const std::vector<uint8_t>& in)
{
    std::string out(size_t(zAsciiEncoder::UUEncode(in.data(), int32_t(in.size()), nullptr, 0)), '\0');
    out.resize(size_t(zAsciiEncoder::UUEncode(in.data(), int32_t(in.size()), out.data(), int32_t(out.size()))));
    return out;
}

std::string YEnc(const std::vector<uint8_t>& in, int32_t lineLength = 64)
{
    std::string out(size_t(zAsciiEncoder::yEncode(in.data(), int32_t(in.size()), nullptr, 0, lineLength)), '\0');
    out.resize(size_t(
        zAsciiEncoder::yEncode(in.data(), int32_t(in.size()), out.data(), int32_t(out.size()), lineLength)));
    return out;
}

} // namespace

TEST(AsciiEncoder, UULinesHoldFortyFiveBytes)
{
    const std::string full = UU(std::vector<uint8_t>(45, 0x41));
    ASSERT_EQ(full.size(), 62u);
    EXPECT_EQ(full.front(), 'M');
    EXPECT_EQ(full.back(), '\n');

    const std::string more = UU(std::vector<uint8_t>(46, 0x41));
    ASSERT_EQ(more.size(), 62u + 6u);
    EXPECT_EQ(more[62], '#');
    EXPECT_EQ(more.back(), '\n');
}

TEST(AsciiEncoder, UUZeroByteIsSpacesAndDecodesIntoItsRawSize)
{
    const std::string text = UU({0x00});
    EXPECT_EQ(text, "#    \n");
    uint8_t out[2] = {0xAA, 0xAA};
    EXPECT_EQ(zAsciiEncoder::UUDecode(text.data(), int32_t(text.size()), out, 1), 1);
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(out[1], 0xAA);
    // Counting gives the whole group, padding included.
    EXPECT_EQ(zAsciiEncoder::UUDecode(text.data(), int32_t(text.size()), nullptr, 0), 3);
}

TEST(AsciiEncoder, YEncEscapesTheFourReservedCharacters)
{
    struct Case {
        uint8_t byte;
        std::string text;
    };
    const Case cases[] = {
        {0xD6, std::string("=\x40")}, {0x13, "=}"}, {0xE0, "=J"}, {0xE3, "=M"}, {0x00, "*"}, {0xFF, ")"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(YEnc({c.byte}), c.text) << int(c.byte);
        uint8_t back = 0;
        EXPECT_EQ(zAsciiEncoder::yDecode(c.text.data(), int32_t(c.text.size()), &back, 1), 1);
        EXPECT_EQ(back, c.byte);
    }
}

TEST(AsciiEncoder, YEncBreaksLinesOnlyBetweenBytes)
{
    const std::string text = YEnc(std::vector<uint8_t>(128, 0x01));
    ASSERT_EQ(text.size(), 129u);
    EXPECT_EQ(text.find('\n'), 64u);
    EXPECT_EQ(text.rfind('\n'), 64u);

    // An escape pair may make a line one longer; a line then starts with '='.
    std::vector<uint8_t> escaped(65, 0x01);
    escaped[63] = 0xD6;
    escaped[64] = 0x13;
    const std::string pair = YEnc(escaped);
    EXPECT_EQ(pair.find('\n'), 65u);
    EXPECT_EQ(pair.substr(65), "\n=}");
}

TEST(AsciiEncoder, YEncRefusesLineLengthZero)
{
    LogCapture log;
    const uint8_t byte = 1;
    char out[4];
    EXPECT_EQ(zAsciiEncoder::yEncode(&byte, 1, out, 4, 0), 0);
    EXPECT_TRUE(log.Contains("[!] zAsciiEncoder::yEncode ("));
    EXPECT_TRUE(log.Contains("invalid line-feed size for yEncoding.\n"));
}

TEST(AsciiEncoder, EveryLengthRoundTripsAndCountsWhatItWrites)
{
    for (int32_t encoding : {zAsciiEncoder::EncodingUU, zAsciiEncoder::EncodingYEnc}) {
        for (size_t length : {size_t(1), size_t(2), size_t(3), size_t(44), size_t(45), size_t(46), size_t(63),
                              size_t(64), size_t(65), size_t(90), size_t(256), size_t(1000), size_t(4099)}) {
            std::vector<uint8_t> in = Bytes(length, uint32_t(length));
            if (length == 256) {
                for (size_t i = 0; i < 256; ++i)
                    in[i] = uint8_t(i);
            }
            const std::string text = encoding == zAsciiEncoder::EncodingUU ? UU(in) : YEnc(in);
            const int32_t counted = encoding == zAsciiEncoder::EncodingUU
                ? zAsciiEncoder::UUEncode(in.data(), int32_t(length), nullptr, 0)
                : zAsciiEncoder::yEncode(in.data(), int32_t(length), nullptr, 0, 64);
            ASSERT_EQ(size_t(counted), text.size()) << encoding << " " << length;
            EXPECT_LE(int64_t(length), zAsciiEncoder::MaxDecodedLength(encoding, counted));

            std::vector<uint8_t> out(length + 8, 0xEE);
            const int32_t decoded = encoding == zAsciiEncoder::EncodingUU
                ? zAsciiEncoder::UUDecode(text.data(), int32_t(text.size()), out.data(), int32_t(length))
                : zAsciiEncoder::yDecode(text.data(), int32_t(text.size()), out.data(), int32_t(length));
            ASSERT_EQ(decoded, int32_t(length)) << encoding << " " << length;
            EXPECT_TRUE(std::equal(in.begin(), in.end(), out.begin())) << encoding << " " << length;
            EXPECT_EQ(out[length], 0xEE);
        }
    }
}

TEST(AsciiEncoder, ShortOutputBuffersAreNeverOverrun)
{
    const std::vector<uint8_t> in = Bytes(100, 7);
    const std::string uu = UU(in);
    const std::string yenc = YEnc(in);
    for (int32_t capacity : {0, 1, 5, 61, 62, 63}) {
        std::vector<char> out(size_t(capacity) + 4, '#');
        EXPECT_EQ(zAsciiEncoder::UUEncode(in.data(), 100, out.data(), capacity), capacity);
        EXPECT_EQ(std::string(out.data(), size_t(capacity)), uu.substr(0, size_t(capacity)));
        EXPECT_EQ(std::string(out.data() + capacity, 4), "####");

        std::fill(out.begin(), out.end(), '#');
        const int32_t written = zAsciiEncoder::yEncode(in.data(), 100, out.data(), capacity, 64);
        EXPECT_LE(written, capacity);
        EXPECT_EQ(std::string(out.data(), size_t(written)), yenc.substr(0, size_t(written)));
        EXPECT_EQ(std::string(out.data() + capacity, 4), "####");

        std::vector<uint8_t> bytes(size_t(capacity) + 4, 0x23);
        EXPECT_EQ(zAsciiEncoder::UUDecode(uu.data(), int32_t(uu.size()), bytes.data(), capacity), capacity);
        EXPECT_EQ(zAsciiEncoder::yDecode(yenc.data(), int32_t(yenc.size()), bytes.data(), capacity), capacity);
        EXPECT_EQ(bytes[size_t(capacity)], 0x23);
    }
}

TEST(AsciiEncoder, TruncatedInputLogsUnderflowAndKeepsWhatWasDecoded)
{
    struct Case {
        const char* name;
        std::string text;
        bool uu;
        int32_t decoded;
        const char* method;
    };
    const std::string line = UU(Bytes(45, 3));
    const Case cases[] = {
        {"uu line shorter than announced", line.substr(0, 30), true, 21, "zAsciiEncoder::UUDecode"},
        {"yenc escape at the end", "**=", false, 2, "zAsciiEncoder::yDecode"},
        {"yenc line feed at the end", "***\n", false, 3, "zAsciiEncoder::yDecode"},
    };
    for (const Case& c : cases) {
        LogCapture log;
        uint8_t out[64];
        const int32_t decoded = c.uu ? zAsciiEncoder::UUDecode(c.text.data(), int32_t(c.text.size()), out, 64)
                                     : zAsciiEncoder::yDecode(c.text.data(), int32_t(c.text.size()), out, 64);
        EXPECT_EQ(decoded, c.decoded) << c.name;
        EXPECT_TRUE(log.Contains(std::string("[*] ") + c.method + " (")) << c.name;
        EXPECT_TRUE(log.Contains("input buffer underflow.\n")) << c.name;
    }
}

TEST(AsciiEncoder, DecodedSizeNeverExceedsTheBoundForAnyText)
{
    for (uint32_t seed = 1; seed < 200; ++seed) {
        const std::vector<uint8_t> text = Bytes(seed, seed);
        LogCapture quiet;
        EXPECT_LE(int64_t(zAsciiEncoder::UUDecode(text.data(), int32_t(text.size()), nullptr, 0)),
                  zAsciiEncoder::MaxDecodedLength(zAsciiEncoder::EncodingUU, int32_t(text.size())));
        EXPECT_LE(int64_t(zAsciiEncoder::yDecode(text.data(), int32_t(text.size()), nullptr, 0)),
                  zAsciiEncoder::MaxDecodedLength(zAsciiEncoder::EncodingYEnc, int32_t(text.size())));
    }
}
