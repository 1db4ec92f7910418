#include "dav/DavTestSupport.h"
#include "dav/demuxer/dAV_PSDemuxer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

// The standard's 5-byte time stamp with its 4-bit prefix and marker bits.
Bytes Stamp(uint8_t prefix, uint64_t value)
{
    return {uint8_t(prefix << 4 | ((value >> 29) & 0x0E) | 1), uint8_t(value >> 22), uint8_t(((value >> 14) & 0xFE) | 1),
        uint8_t(value >> 7), uint8_t(((value << 1) & 0xFE) | 1)};
}

Bytes PackMpeg1()
{
    return {0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x00, 0x01};
}

Bytes PackMpeg2(uint8_t stuffing = 0)
{
    Bytes pack = {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, uint8_t(0xF8 | stuffing)};
    pack.insert(pack.end(), stuffing, 0xFF);
    return pack;
}

Bytes WithLength(uint8_t id, const Bytes& body)
{
    Bytes packet = {0x00, 0x00, 0x01, id, uint8_t(body.size() >> 8), uint8_t(body.size())};
    Append(packet, body);
    return packet;
}

// MPEG-1 PES: stuffing, an optional buffer-size field, then PTS (and DTS) or 0x0F.
Bytes PesMpeg1(uint8_t id, const Bytes& payload, int64_t pts = -1, int64_t dts = -1, int stuffing = 0, bool bufferSize = false)
{
    Bytes body(size_t(stuffing), 0xFF);
    if (bufferSize)
        Append(body, {0x40, 0x20});
    if (pts >= 0 && dts >= 0) {
        Append(body, Stamp(3, uint64_t(pts)));
        Append(body, Stamp(1, uint64_t(dts)));
    } else if (pts >= 0) {
        Append(body, Stamp(2, uint64_t(pts)));
    } else {
        body.push_back(0x0F);
    }
    Append(body, payload);
    return WithLength(id, body);
}

Bytes PesMpeg2(uint8_t id, const Bytes& payload, int64_t pts = -1, int64_t dts = -1, uint8_t extraHeader = 0)
{
    Bytes stamps;
    uint8_t flags = 0;
    if (pts >= 0 && dts >= 0) {
        flags = 0xC0;
        Append(stamps, Stamp(3, uint64_t(pts)));
        Append(stamps, Stamp(1, uint64_t(dts)));
    } else if (pts >= 0) {
        flags = 0x80;
        Append(stamps, Stamp(2, uint64_t(pts)));
    }
    Bytes body = {0x81, flags, uint8_t(stamps.size() + extraHeader)};
    Append(body, stamps);
    body.insert(body.end(), extraHeader, 0xFF);
    Append(body, payload);
    return WithLength(id, body);
}

Bytes Payload(size_t size, uint8_t seed)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(seed + i * 7); // never 00 00 01 in a row
    return bytes;
}

// Runs a program-stream demuxer over bytes written to a file.
class PSDemuxerTest : public testing::Test {
protected:
    // Demuxes to the end; returns the number of DemuxNext calls.
    int Demux(const Bytes& file, int32_t readSize = 4096, uint32_t sides = 3, bool scan = false)
    {
        const std::string path = directory.Write("stream.mpg", std::string(file.begin(), file.end()));
        EXPECT_TRUE(reader.Open(path.c_str(), true, false));
        demuxer.readSize = readSize;
        demuxer.sideFlags = sides;
        EXPECT_TRUE(demuxer.Init(&stream, scan));
        int calls = 1;
        while (!demuxer.DemuxNext(&stream) && calls < 1000000)
            ++calls;
        return calls;
    }

    TempDir directory;
    zStream reader;
    dAV_PSDemuxer demuxer{&reader};
    CaptureStream stream;
};

TEST_F(PSDemuxerTest, DeliversPacketsWithCodecAndTimeStampInTicks)
{
    struct Case {
        const char* name;
        Bytes file;
        int32_t codecId;
    };
    const Bytes video = Payload(300, 1);
    const Bytes audio = Payload(200, 2);
    Bytes mpeg1 = PackMpeg1();
    Append(mpeg1, PesMpeg1(0xE0, video, 90000));
    Append(mpeg1, PesMpeg1(0xC0, audio, 45000));
    Bytes mpeg2 = PackMpeg2(3);
    Append(mpeg2, PesMpeg2(0xE0, video, 90000));
    Append(mpeg2, PesMpeg2(0xC0, audio, 45000));
    for (const Case& test : {Case{"MPEG-1", mpeg1, 2}, Case{"MPEG-2", mpeg2, 3}}) {
        SCOPED_TRACE(test.name);
        CaptureStream capture;
        const std::string path = directory.Write(std::string(test.name) + ".mpg", std::string(test.file.begin(), test.file.end()));
        zStream file;
        ASSERT_TRUE(file.Open(path.c_str(), true, false));
        dAV_PSDemuxer ps(&file);
        ASSERT_TRUE(ps.TestDemux(&capture));
        file.Rewind();
        ps.sideFlags = 3;
        ASSERT_TRUE(ps.Init(&capture, false));
        EXPECT_TRUE(ps.DemuxNext(&capture));
        ASSERT_EQ(capture.packets.size(), 2u);
        EXPECT_TRUE(capture.packets[0].video);
        EXPECT_EQ(capture.packets[0].codecId, test.codecId);
        EXPECT_EQ(capture.packets[0].bytes, video);
        EXPECT_EQ(capture.packets[0].timeStamp, 10000); // 90000 / 9
        EXPECT_FALSE(capture.packets[1].video);
        EXPECT_EQ(capture.packets[1].codecId, test.codecId);
        EXPECT_EQ(capture.packets[1].bytes, audio);
        EXPECT_EQ(capture.packets[1].timeStamp, 5000);
    }
}

TEST_F(PSDemuxerTest, TestDemuxNeedsAPackStartCode)
{
    for (const Bytes& start : {Bytes{0x00, 0x00, 0x01, 0xBB}, Bytes{0x00, 0x00, 0x01}, Bytes{0xFF, 0xE0, 0xFF, 0xE0}, Bytes{}}) {
        const std::string path = directory.Write("probe.mpg", std::string(start.begin(), start.end()));
        zStream file;
        ASSERT_TRUE(file.Open(path.c_str(), true, false));
        dAV_PSDemuxer ps(&file);
        EXPECT_FALSE(ps.TestDemux(&stream));
    }
}

// Everything the parser meets, in one file: the same bytes must come out
// whatever block size cuts the headers and payloads.
Bytes MixedStream()
{
    Bytes file = PackMpeg1();
    Append(file, WithLength(0xBB, Payload(12, 9)));         // system header
    Append(file, PesMpeg1(0xE0, Payload(500, 3), 900, 450, 5, true));
    Append(file, WithLength(0xBE, Bytes(40, 0xFF)));        // padding stream
    Append(file, {0x12, 0x34, 0x00, 0x00, 0x56});            // garbage
    Append(file, PesMpeg1(0xC0, Payload(33, 4), 1800, -1, 16));
    Append(file, PackMpeg2(7));
    Append(file, PesMpeg2(0xE0, Payload(777, 5), 2700, 2250, 30));
    Append(file, {0x00, 0x00, 0x01, 0xB3, 0x12, 0x34}); // a start code below the system codes
    Append(file, PesMpeg2(0xC0, Payload(64, 6), 3600));
    Append(file, WithLength(0xC1, Payload(50, 7)));          // another audio stream: not ours
    Append(file, PesMpeg2(0xE0, Payload(90, 8)));            // no time stamp: keeps the last
    return file;
}

TEST_F(PSDemuxerTest, HeadersAndPayloadsSurviveAnyBlockCut)
{
    CaptureStream reference;
    {
        const Bytes file = MixedStream();
        const std::string path = directory.Write("mixed.mpg", std::string(file.begin(), file.end()));
        zStream input;
        ASSERT_TRUE(input.Open(path.c_str(), true, false));
        dAV_PSDemuxer ps(&input);
        ps.sideFlags = 3;
        ASSERT_TRUE(ps.Init(&reference, false));
        EXPECT_TRUE(ps.DemuxNext(&reference));
    }
    const auto videoBytes = reference.Bytes(true);
    const auto audioBytes = reference.Bytes(false);
    ASSERT_EQ(videoBytes.size(), 500u + 777u + 90u);
    ASSERT_EQ(audioBytes.size(), 33u + 64u);
    EXPECT_EQ(videoBytes.front().second, 50);  // DTS 450 / 9
    EXPECT_EQ(videoBytes[500].second, 250);    // DTS 2250 / 9
    EXPECT_EQ(videoBytes.back().second, 250);
    EXPECT_EQ(audioBytes.front().second, 200);
    EXPECT_EQ(audioBytes.back().second, 400);

    for (int32_t readSize = 1; readSize <= 300; readSize += readSize < 40 ? 1 : 37) {
        SCOPED_TRACE(readSize);
        const Bytes file = MixedStream();
        const std::string path = directory.Write("mixed.mpg", std::string(file.begin(), file.end()));
        zStream input;
        ASSERT_TRUE(input.Open(path.c_str(), true, false));
        dAV_PSDemuxer ps(&input);
        CaptureStream cut;
        ps.sideFlags = 3;
        ps.readSize = readSize;
        ASSERT_TRUE(ps.Init(&cut, false));
        int calls = 0;
        while (!ps.DemuxNext(&cut) && ++calls < 100000) {
        }
        EXPECT_EQ(cut.Bytes(true), videoBytes);
        EXPECT_EQ(cut.Bytes(false), audioBytes);
    }
}

TEST_F(PSDemuxerTest, PayloadSplitOverTwoBlocksArrivesInTwoPartsWithOneTimeStamp)
{
    Bytes file = PackMpeg1();
    Append(file, PesMpeg1(0xE0, Payload(4000 - file.size() - 11, 1), 9000));
    Append(file, PesMpeg1(0xE0, Payload(1000, 2), 18000)); // starts before 4096 and ends after it
    ASSERT_LT(file.size() - 1000, 4096u);
    Demux(file);
    ASSERT_EQ(stream.packets.size(), 3u);
    EXPECT_EQ(stream.packets[1].timeStamp, 2000);
    EXPECT_EQ(stream.packets[2].timeStamp, 2000);
    Bytes joined = stream.packets[1].bytes;
    Append(joined, stream.packets[2].bytes);
    EXPECT_EQ(joined, Payload(1000, 2));
}

TEST_F(PSDemuxerTest, WeirdPackHeaderIsReportedAndSkipped)
{
    Bytes file = {0x00, 0x00, 0x01, 0xBA, 0x10};
    Append(file, PesMpeg1(0xC0, Payload(10, 1), 900));
    testing::internal::CaptureStderr();
    Demux(file);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("PS demuxer: Weird packet header."), std::string::npos);
    ASSERT_EQ(stream.packets.size(), 1u);
    EXPECT_EQ(stream.packets[0].bytes, Payload(10, 1));
}

TEST_F(PSDemuxerTest, BadPacketsAreDroppedAndParsingGoesOn)
{
    struct Case {
        const char* name;
        Bytes bad;
    };
    // An MPEG-2 header claiming 200 bytes inside a 20-byte packet; a header of
    // stuffing bytes only; garbage between packets.
    Bytes longHeader = {0x00, 0x00, 0x01, 0xE0, 0x00, 0x14, 0x81, 0x80, 200};
    longHeader.resize(6 + 0x14, 0x11);
    Bytes stuffedOnly = {0x00, 0x00, 0x01, 0xC0, 0x00, 0x08};
    stuffedOnly.resize(14, 0xFF);
    Bytes garbage = Payload(3000, 77);
    for (const Case& test : {Case{"long header", longHeader}, Case{"stuffing only", stuffedOnly}, Case{"garbage", garbage}}) {
        SCOPED_TRACE(test.name);
        CaptureStream capture;
        Bytes file = PackMpeg1();
        Append(file, test.bad);
        Append(file, PesMpeg1(0xE0, Payload(64, 3), 900));
        const std::string path = directory.Write("bad.mpg", std::string(file.begin(), file.end()));
        zStream input;
        ASSERT_TRUE(input.Open(path.c_str(), true, false));
        dAV_PSDemuxer ps(&input);
        ps.sideFlags = 3;
        ASSERT_TRUE(ps.Init(&capture, false));
        EXPECT_TRUE(ps.DemuxNext(&capture));
        ASSERT_FALSE(capture.packets.empty());
        EXPECT_EQ(capture.packets.back().bytes, Payload(64, 3));
        size_t delivered = 0;
        for (const CapturedPacket& packet : capture.packets)
            delivered += packet.bytes.size();
        EXPECT_EQ(delivered, 64u);
    }
}

TEST_F(PSDemuxerTest, PacketLongerThanTheFileEndsWithWhatIsThere)
{
    Bytes file = PackMpeg1();
    Bytes packet = PesMpeg1(0xE0, Payload(100, 1), 900);
    packet[4] = 0xEA; // claims about 60000 bytes
    Append(file, packet);
    const int calls = Demux(file, 16);
    EXPECT_LT(calls, 100);
    EXPECT_EQ(stream.Bytes(true).size(), 100u);
}

TEST_F(PSDemuxerTest, ProgramEndStopsTheSide)
{
    Bytes file = PackMpeg1();
    Append(file, PesMpeg1(0xC0, Payload(10, 1), 900));
    Append(file, {0x00, 0x00, 0x01, 0xB9});
    Append(file, PesMpeg1(0xC0, Payload(10, 2), 1800));
    file.resize(10000, 0xAB); // the end code comes long before the file's end
    EXPECT_EQ(Demux(file), 1);
    ASSERT_EQ(stream.packets.size(), 1u);
    EXPECT_EQ(stream.packets[0].bytes, Payload(10, 1));
}

TEST_F(PSDemuxerTest, SidesDeliverOnlyTheirKind)
{
    Bytes file = PackMpeg1();
    Append(file, PesMpeg1(0xE0, Payload(10, 1), 900));
    Append(file, PesMpeg1(0xC0, Payload(10, 2), 900));
    Demux(file, 4096, dAV_Demuxer::DeliversAudio);
    ASSERT_EQ(stream.packets.size(), 1u);
    EXPECT_FALSE(stream.packets[0].video);
}

TEST_F(PSDemuxerTest, ScanSetsTheDurationAndRewinds)
{
    Bytes file = PackMpeg1();
    for (int i = 0; i < 40; ++i) {
        Append(file, PesMpeg1(0xE0, Payload(400, uint8_t(i)), 3600 * i));
        Append(file, PesMpeg1(0xC0, Payload(100, uint8_t(i)), 3600 * i));
    }
    Demux(file, 4096, 3, true);
    EXPECT_FLOAT_EQ(stream.duration, 3600.0f * 39 / 90000.0f);
    // Delivery after the scan starts from the beginning.
    ASSERT_FALSE(stream.packets.empty());
    EXPECT_EQ(stream.packets.front().bytes, Payload(400, 0));
    EXPECT_EQ(stream.Bytes(true).size(), 40u * 400u);
}

TEST_F(PSDemuxerTest, SeekParsesForwardPastTheTarget)
{
    Bytes file = PackMpeg1();
    for (int i = 0; i < 100; ++i)
        Append(file, PesMpeg1(0xC0, Payload(400, uint8_t(i)), 9000 * i)); // 100 ms apart
    const std::string path = directory.Write("seek.mpg", std::string(file.begin(), file.end()));
    ASSERT_TRUE(reader.Open(path.c_str(), true, false));
    demuxer.sideFlags = dAV_Demuxer::DeliversAudio;
    ASSERT_TRUE(demuxer.Init(&stream, false));
    ASSERT_TRUE(demuxer.Seek(&stream, 5000));
    EXPECT_GT(demuxer.GetLastAudioTimeStamp(), 5000u * 90u);
    EXPECT_TRUE(stream.packets.empty());
    while (!demuxer.DemuxNext(&stream)) {
    }
    ASSERT_FALSE(stream.packets.empty());
    EXPECT_GT(stream.packets.front().timeStamp, 5000 * 10);
    // Beyond the last time stamp the file runs out first.
    EXPECT_FALSE(demuxer.Seek(&stream, 60000));
}

TEST_F(PSDemuxerTest, RewindStartsTheParserOver)
{
    Bytes file = PackMpeg1();
    Append(file, PesMpeg1(0xE0, Payload(6000, 1), 900)); // still inside this payload after the first block
    const std::string path = directory.Write("rewind.mpg", std::string(file.begin(), file.end()));
    ASSERT_TRUE(reader.Open(path.c_str(), true, false));
    demuxer.sideFlags = 3;
    ASSERT_TRUE(demuxer.Init(&stream, false));
    EXPECT_FALSE(demuxer.DemuxNext(&stream));
    demuxer.Rewind();
    stream.packets.clear();
    while (!demuxer.DemuxNext(&stream)) {
    }
    const auto bytes = stream.Bytes(true);
    ASSERT_EQ(bytes.size(), 6000u);
    EXPECT_EQ(bytes.front().first, Payload(1, 1)[0]);
}

} // namespace
