#pragma once

#include "dav/core/dAV_Demuxer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// MPEG-1 and MPEG-2 program streams: packs, system headers and PES packets of
// one video (0xE0) and one audio (0xC0) stream. The parser resumes across
// blocks: payloads run on into the next block, and a header cut by the block
// end is completed from the next one.
class dAV_PSDemuxer : public dAV_Demuxer {
public:
    // The longest header the parser must see whole: an MPEG-2 PES header, 9 + 255 bytes.
    static constexpr size_t MaxHeader = 9 + 255;

    enum ParserState : int32_t { CollectingHeader = 0, InAudioPayload = 1, InVideoPayload = 2, Skipping = 3 };

    explicit dAV_PSDemuxer(zStream* reader) : dAV_Demuxer(reader) {}

    bool Seek(dAV_Stream* stream, int32_t ms) override;
    const char* GetName() override { return "MPEG-PS demuxer"; }
    bool TestDemux(dAV_Stream* stream) override;
    bool DemuxNext(dAV_Stream* stream) override;
    bool Init(dAV_Stream* stream, bool scan) override;
    void Close() override;
    ~dAV_PSDemuxer() override;
    // Parses the current block; true when a program end code was met.
    virtual bool Demux(dAV_Stream* stream, bool deliver);

    uint32_t GetLastVideoTimeStamp() const { return lastVideoTimeStamp; }
    uint32_t GetLastAudioTimeStamp() const { return lastAudioTimeStamp; }
    int32_t GetParserState() const { return parserState; }

protected:
    void OnRewind() override;

private:
    // What the bytes at a position start.
    struct Header {
        enum Kind { NeedMore, Skip, ProgramEnd, Packet } kind = NeedMore;
        size_t length = 0;        // bytes to skip, or the PES header length
        size_t payloadLength = 0; // PES packets only
        bool video = false;
        int32_t codecId = 0;
    };

    Header ParseHeader(const uint8_t* data, size_t available);
    // Runs the parser over data: payloads and skips stop at dataEnd, headers
    // may look up to lookEnd. Returns the position reached.
    size_t Parse(dAV_Stream* stream, const uint8_t* data, size_t position, size_t dataEnd, size_t lookEnd, bool deliver,
        bool& programEnd, bool& needMore);
    void ResetParser();
    // Reads the next block; false on a short read (the block is still there).
    bool ReadBlock();

    std::unique_ptr<uint8_t[]> buffer;
    size_t bufferSize = 0;
    size_t blockBegin = 0;
    size_t blockEnd = 0;
    int32_t parserState = Skipping;
    size_t stateLeft = 0;
    int32_t codecId = 0;
    uint8_t videoStreamId = 0xE0;
    uint8_t audioStreamId = 0xC0;
    uint32_t lastVideoTimeStamp = 0;
    uint32_t lastAudioTimeStamp = 0;
    // The first audio payload bytes, collected while Init looks for the audio format.
    std::vector<uint8_t>* audioProbe = nullptr;
    // The start of a header that the previous block cut off.
    uint8_t headerBuffer[2 * MaxHeader];
    size_t headerLength = 0;
};
