#include "dav/DavTestSupport.h"
#include "dav/demuxer/dAV_OVDemuxer.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

struct Page {
    uint8_t flags = 0;
    uint64_t granule = 0;
    uint32_t serial = 0;
    std::vector<Bytes> segments; // lacing-sized pieces
};

uint32_t ReadLE32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Splits a well-formed Ogg file into its packets.
std::vector<Bytes> ReadPackets(const Bytes& file, std::vector<size_t>* pageOffsets = nullptr)
{
    std::vector<Bytes> packets;
    Bytes current;
    size_t at = 0;
    while (at + 27 <= file.size()) {
        if (pageOffsets != nullptr)
            pageOffsets->push_back(at);
        const uint8_t segments = file[at + 26];
        size_t body = at + 27 + segments;
        for (uint8_t i = 0; i < segments; ++i) {
            const uint8_t lace = file[at + 27 + i];
            current.insert(current.end(), file.begin() + long(body), file.begin() + long(body + lace));
            body += lace;
            if (lace < 255) {
                packets.push_back(current);
                current.clear();
            }
        }
        at = body;
    }
    return packets;
}

Bytes WritePage(uint8_t flags, uint64_t granule, uint32_t serial, uint32_t sequence, const std::vector<Bytes>& packets)
{
    Bytes lacing;
    Bytes body;
    for (const Bytes& packet : packets) {
        size_t left = packet.size();
        do {
            const uint8_t lace = uint8_t(left >= 255 ? 255 : left);
            lacing.push_back(lace);
            left -= lace;
            if (lace < 255)
                break;
        } while (true);
        body.insert(body.end(), packet.begin(), packet.end());
    }
    Bytes page = {'O', 'g', 'g', 'S', 0, flags};
    for (int i = 0; i < 8; ++i)
        page.push_back(uint8_t(granule >> (8 * i)));
    for (uint32_t value : {serial, sequence, 0u})
        for (int i = 0; i < 4; ++i)
            page.push_back(uint8_t(value >> (8 * i)));
    page.push_back(uint8_t(lacing.size()));
    page.insert(page.end(), lacing.begin(), lacing.end());
    page.insert(page.end(), body.begin(), body.end());
    const uint32_t checksum = dAV_OVDemuxer::PageChecksum(page.data(), uint32_t(page.size()));
    for (int i = 0; i < 4; ++i)
        page[22 + size_t(i)] = uint8_t(checksum >> (8 * i));
    return page;
}

class OggTest : public testing::Test {
protected:
    void SetUp() override
    {
        original = ReadFileBytes(MediaPath("tone.ogg"));
        ASSERT_FALSE(original.empty());
        packets = ReadPackets(original);
        ASSERT_GT(packets.size(), 3u);
        full = Decode(original);
        ASSERT_EQ(full.size(), 22050u * 4u);
        // Sample position after each audio packet, as a fresh decode counts them.
        RecordingAudioDriver audio;
        audio.fullAt = 1; // the prefill stops after one frame: the others are counted one by one
        dAV_Stream stream(nullptr, &audio);
        ASSERT_TRUE(stream.Open(MediaPath("tone.ogg").c_str()));
        size_t total = audio.pcm.size() / 4;
        ASSERT_GT(total, 0u);
        granules.push_back(total);
        while (stream.GetState() == dAV_Stream::Playing) {
            const size_t before = audio.pcm.size();
            stream.GetAudioDemuxer()->DemuxNext(&stream) ? (void)stream.Close() : (void)0;
            total += (audio.pcm.size() - before) / 4;
            if (audio.pcm.size() != before)
                granules.push_back(total);
        }
    }

    // One audio packet per page, with the granule positions a muxer would give.
    Bytes Repaginate(uint32_t serial = 0x1234)
    {
        Bytes file = WritePage(0x02, 0, serial, 0, {packets[0]});
        const Bytes setup = WritePage(0, 0, serial, 1, {packets[1], packets[2]});
        file.insert(file.end(), setup.begin(), setup.end());
        uint64_t granule = 0;
        for (size_t i = 3; i < packets.size(); ++i) {
            // The first audio packet only primes the decoder.
            if (i > 3 && i - 4 < granules.size())
                granule = granules[i - 4];
            const uint8_t flags = i + 1 == packets.size() ? 0x04 : 0;
            const Bytes page = WritePage(flags, i + 1 == packets.size() ? 22050 : granule, serial, uint32_t(i), {packets[i]});
            file.insert(file.end(), page.begin(), page.end());
        }
        return file;
    }

    Bytes Decode(const Bytes& file, int32_t seekMs = -1)
    {
        const std::string path = directory.Write("test.ogg", std::string(file.begin(), file.end()));
        RecordingAudioDriver audio;
        dAV_Stream stream(nullptr, &audio);
        if (!stream.Open(path.c_str()))
            return {};
        if (seekMs >= 0) {
            audio.pcm.clear();
            EXPECT_TRUE(stream.Seek(seekMs));
        }
        EXPECT_TRUE(PlayToEnd(stream, &audio));
        return audio.pcm;
    }

    TempDir directory;
    Bytes original;
    std::vector<Bytes> packets;
    Bytes full;
    std::vector<size_t> granules;
};

TEST_F(OggTest, PageChecksumMatchesAnEncoder)
{
    std::vector<size_t> offsets;
    ReadPackets(original, &offsets);
    ASSERT_GE(offsets.size(), 3u);
    for (size_t i = 0; i < offsets.size(); ++i) {
        const size_t end = i + 1 < offsets.size() ? offsets[i + 1] : original.size();
        EXPECT_EQ(dAV_OVDemuxer::PageChecksum(original.data() + offsets[i], uint32_t(end - offsets[i])), ReadLE32(original.data() + offsets[i] + 22));
    }
}

TEST_F(OggTest, PagingDoesNotChangeTheSamples)
{
    const Bytes pcm = Decode(Repaginate());
    EXPECT_EQ(pcm.size(), full.size());
    EXPECT_TRUE(pcm == full);
}

TEST_F(OggTest, SeekBisectsToTheTargetSample)
{
    const Bytes file = Repaginate();
    for (int32_t ms : {47, 100, 333, 500, 740, 999}) {
        SCOPED_TRACE(ms);
        const size_t first = size_t(ms) * 22050 / 1000;
        const Bytes tail(full.begin() + long(first * 4), full.end());
        const Bytes after = Decode(file, ms);
        EXPECT_EQ(after.size(), tail.size());
        EXPECT_TRUE(after == tail);
    }
    // Past the end: nothing more to play.
    EXPECT_TRUE(Decode(file, 5000).empty());
}

TEST_F(OggTest, DamagedPagesAreDroppedAndDecodingGoesOn)
{
    Bytes file = Repaginate();
    std::vector<size_t> offsets;
    ReadPackets(file, &offsets);
    const size_t damaged = offsets[20];
    file[damaged + 30] ^= 0x5A;
    LogCapture capture;
    const Bytes pcm = Decode(file);
    EXPECT_TRUE(capture.Contains("Dropped an Ogg page with a bad checksum."));
    EXPECT_LT(pcm.size(), full.size());
    EXPECT_GT(pcm.size(), full.size() / 2);
    // What came before the damage is intact.
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + 4096, full.begin()));
}

TEST_F(OggTest, GarbageAndForeignPagesBetweenPagesAreSkipped)
{
    Bytes file = Repaginate();
    std::vector<size_t> offsets;
    ReadPackets(file, &offsets);
    Bytes garbage(300);
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = uint8_t(i * 13 + 1);
    const Bytes foreign = WritePage(0, 99, 0x9999, 5, {Bytes(60000, 0x42)}); // larger than the input buffer
    Bytes damaged = file;
    damaged.insert(damaged.begin() + long(offsets[30]), foreign.begin(), foreign.end());
    damaged.insert(damaged.begin() + long(offsets[10]), garbage.begin(), garbage.end());
    LogCapture capture;
    EXPECT_EQ(Decode(damaged), full);
    EXPECT_TRUE(capture.Contains("byte(s) of garbage in the Ogg stream."));
}

TEST_F(OggTest, ChainedStreamEndsTheSide)
{
    Bytes chained = original;
    chained.insert(chained.end(), original.begin(), original.end());
    LogCapture capture;
    EXPECT_EQ(Decode(chained), full);
    EXPECT_TRUE(capture.Contains("A new logical stream begins: the Ogg stream ends here."));
}

TEST_F(OggTest, TruncatedFileEndsWithWhatItHolds)
{
    const Bytes file = Repaginate();
    for (size_t size : {file.size() - 1, file.size() / 2, file.size() / 3 + 7}) {
        SCOPED_TRACE(size);
        const Bytes pcm = Decode(Bytes(file.begin(), file.begin() + long(size)));
        EXPECT_LT(pcm.size(), full.size());
        EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), full.begin()));
    }
    // Cut inside the headers, the file is no stream at all.
    EXPECT_TRUE(Decode(Bytes(file.begin(), file.begin() + 100)).empty());
}

TEST_F(OggTest, FormatIsKnownFromTheHeaders)
{
    const std::string path = directory.Write("format.ogg", std::string(original.begin(), original.end()));
    RecordingAudioDriver audio;
    audio.fullAt = 1; // nothing is decoded by the prefill
    audio.capacity = 1;
    dAV_Stream stream(nullptr, &audio);
    LogCapture capture;
    ASSERT_TRUE(stream.Open(path.c_str()));
    EXPECT_EQ(stream.GetAudioFormat().rate, 22050);
    EXPECT_TRUE(stream.GetAudioFormat().stereo);
    EXPECT_TRUE(capture.Contains("OGG Vorbis audio stream 22050hz 16bit 2 channel(s)."));
    EXPECT_TRUE(capture.Contains("    Max frame size = "));
}

} // namespace
