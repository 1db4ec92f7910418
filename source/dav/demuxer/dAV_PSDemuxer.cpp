#include "dav/demuxer/dAV_PSDemuxer.h"

#include "dav/core/dAV_Stream.h"
#include "dav/demuxer/dAV_MPADemuxer.h"
#include "framework/filesystem/zStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// The 33-bit time stamp of the standard's marker-bit layout, kept to its low 32 bits.
uint32_t ReadTimeStamp(const uint8_t* p)
{
    const uint64_t value = (uint64_t(p[0] >> 1) & 7) << 30 | uint64_t(p[1]) << 22 | uint64_t(p[2] >> 1) << 15 |
        uint64_t(p[3]) << 7 | uint64_t(p[4] >> 1);
    return uint32_t(value);
}

} // namespace

dAV_PSDemuxer::~dAV_PSDemuxer()
{
    Close();
}

bool dAV_PSDemuxer::TestDemux(dAV_Stream*)
{
    uint8_t start[4];
    return reader->Read(start, 4) == 4 && start[0] == 0x00 && start[1] == 0x00 && start[2] == 0x01 && start[3] == 0xBA;
}

void dAV_PSDemuxer::ResetParser()
{
    parserState = Skipping;
    stateLeft = 0;
    codecId = 0;
    headerLength = 0;
    blockBegin = 0;
    blockEnd = 0;
    lastVideoTimeStamp = 0;
    lastAudioTimeStamp = 0;
}

void dAV_PSDemuxer::OnRewind()
{
    ResetParser();
}

bool dAV_PSDemuxer::Init(dAV_Stream* stream, bool scan)
{
    if (readSize <= 0)
        return false;
    buffer.reset(new (std::nothrow) uint8_t[size_t(readSize)]);
    bufferSize = buffer != nullptr ? size_t(readSize) : 0;
    if (buffer == nullptr)
        return false;
    ResetParser();
    videoStreamId = 0xE0;
    audioStreamId = 0xC0;
    if (scan) {
        for (;;) {
            const bool full = ReadBlock();
            if (Demux(stream, false) || !full)
                break;
        }
        stream->duration = float(lastVideoTimeStamp) / 90000.0f;
        ResetParser();
        reader->Rewind();
    }
    if ((sideFlags & DeliversAudio) != 0) {
        // The audio format is told before anything plays: from the first frame
        // header among the first audio payloads of the first blocks.
        const uint32_t start = reader->Tell();
        std::vector<uint8_t> probe;
        audioProbe = &probe;
        dAV_AudioFormat format;
        for (int block = 0; block < 64; ++block) {
            const bool full = ReadBlock();
            const bool programEnd = Demux(stream, false);
            if (dAV_MPADemuxer::FindFormat(probe.data(), probe.size(), format)) {
                stream->SetAudioFormat(format);
                break;
            }
            if (programEnd || !full)
                break;
        }
        audioProbe = nullptr;
        ResetParser();
        reader->Seek(int32_t(start), 0);
    }
    return true;
}

void dAV_PSDemuxer::Close()
{
    buffer.reset();
    bufferSize = 0;
    ResetParser();
}

bool dAV_PSDemuxer::ReadBlock()
{
    const uint32_t count = reader->Read(buffer.get(), uint32_t(bufferSize));
    blockBegin = 0;
    blockEnd = count;
    return count == bufferSize;
}

bool dAV_PSDemuxer::DemuxNext(dAV_Stream* stream)
{
    if (buffer == nullptr)
        return true;
    const bool full = ReadBlock();
    if (Demux(stream, true) || !full) {
        ended = 1;
        return true;
    }
    return false;
}

bool dAV_PSDemuxer::Seek(dAV_Stream* stream, int32_t ms)
{
    if (buffer == nullptr)
        return false;
    // The seek only moves forward, parsing without delivery.
    const uint64_t target = uint64_t(ms > 0 ? ms : 0) * 90;
    for (;;) {
        if (!ReadBlock())
            return false;
        Demux(stream, false);
        if ((sideFlags & DeliversAudio) != 0 && target < lastAudioTimeStamp)
            return true;
        if ((sideFlags & DeliversVideo) != 0 && target < lastVideoTimeStamp)
            return true;
    }
}

bool dAV_PSDemuxer::Demux(dAV_Stream* stream, bool deliver)
{
    const uint8_t* block = buffer.get() + blockBegin;
    const size_t blockLength = blockEnd - blockBegin;
    bool programEnd = false;
    bool needMore = false;
    size_t position = 0;

    if (headerLength > 0) {
        // The cut header continues in this block: parse it from a window of the
        // carried bytes followed by the head of the block.
        const size_t carried = headerLength;
        const size_t taken = std::min(blockLength, sizeof(headerBuffer) - carried);
        std::memcpy(headerBuffer + carried, block, taken);
        headerLength = 0;
        const size_t windowLength = carried + taken;
        const size_t reached = Parse(stream, headerBuffer, 0, carried, windowLength, deliver, programEnd, needMore);
        if (programEnd)
            return true;
        if (needMore) {
            // The block was shorter than the rest of the header: carry on.
            std::memmove(headerBuffer, headerBuffer + reached, windowLength - reached);
            headerLength = windowLength - reached;
            return false;
        }
        position = reached - carried;
    }

    position = Parse(stream, block, position, blockLength, blockLength, deliver, programEnd, needMore);
    if (programEnd)
        return true;
    if (needMore) {
        headerLength = blockLength - position;
        std::memcpy(headerBuffer, block + position, headerLength);
    }
    return false;
}

size_t dAV_PSDemuxer::Parse(dAV_Stream* stream, const uint8_t* data, size_t position, size_t dataEnd, size_t lookEnd,
    bool deliver, bool& programEnd, bool& needMore)
{
    for (;;) {
        if (parserState != CollectingHeader && stateLeft > 0) {
            if (position >= dataEnd)
                return position;
            const size_t count = std::min(stateLeft, dataEnd - position);
            if (audioProbe != nullptr && parserState == InAudioPayload && audioProbe->size() < 4096)
                audioProbe->insert(audioProbe->end(), data + position, data + position + std::min<size_t>(count, 4096));
            if (deliver && parserState == InVideoPayload && (sideFlags & DeliversVideo) != 0)
                stream->DecodeVideo(codecId, data + position, data + position + count, int32_t(lastVideoTimeStamp / 9));
            else if (deliver && parserState == InAudioPayload && (sideFlags & DeliversAudio) != 0)
                stream->DecodeAudio(codecId, data + position, data + position + count, int32_t(lastAudioTimeStamp / 9));
            position += count;
            stateLeft -= count;
            if (stateLeft > 0)
                return position;
        }
        parserState = CollectingHeader;
        if (position >= dataEnd)
            return position;

        const Header header = ParseHeader(data + position, lookEnd - position);
        switch (header.kind) {
        case Header::NeedMore:
            needMore = true;
            return position;
        case Header::ProgramEnd:
            programEnd = true;
            return position + 4;
        case Header::Skip:
            parserState = Skipping;
            stateLeft = header.length;
            break;
        case Header::Packet:
            position += header.length;
            parserState = header.video ? InVideoPayload : InAudioPayload;
            stateLeft = header.payloadLength;
            codecId = header.codecId;
            break;
        }
    }
}

dAV_PSDemuxer::Header dAV_PSDemuxer::ParseHeader(const uint8_t* p, size_t available)
{
    Header header;
    auto skip = [&header](size_t length) {
        header.kind = Header::Skip;
        header.length = length;
        return header;
    };
    if (available < 4)
        return header;
    if (p[0] != 0x00 || p[1] != 0x00 || p[2] != 0x01) {
        // Garbage: go to the next possible start code, keeping a tail that may begin one.
        size_t i = 1;
        while (i + 3 <= available && !(p[i] == 0x00 && p[i + 1] == 0x00 && p[i + 2] == 0x01))
            ++i;
        return skip(i);
    }

    const uint8_t id = p[3];
    if (id == 0xB9) {
        header.kind = Header::ProgramEnd;
        return header;
    }
    if (id == 0xBA) {
        if (available < 5)
            return header;
        if (p[4] >= 0x40) {
            if (available < 14)
                return header;
            return skip(14 + (p[13] & 7));
        }
        if ((p[4] & 0xF0) == 0x20)
            return skip(12);
        std::fputs("PS demuxer: Weird packet header.\n", stderr);
        return skip(5);
    }
    if (id < 0xB9)
        return skip(4);
    if (available < 6)
        return header;
    const size_t packetLength = 6 + (size_t(p[4]) << 8 | p[5]);
    if (id != videoStreamId && id != audioStreamId)
        return skip(packetLength);

    if (available < 7)
        return header;
    int32_t codec;
    size_t headerSize;
    size_t stampAt = 0;
    bool hasStamp = false;
    if ((p[6] & 0xC0) == 0x80) {
        codec = 3;
        if (available < 9)
            return header;
        headerSize = 9 + size_t(p[8]);
        if ((p[7] & 0x80) != 0) {
            stampAt = (p[7] & 0x40) != 0 ? 14 : 9;
            // A stamp the header is too short to hold is not read.
            hasStamp = stampAt + 5 <= headerSize;
        }
    } else {
        codec = 2;
        size_t i = 6;
        while (p[i] == 0xFF && i < 6 + 16) {
            if (++i >= available)
                return header;
        }
        if ((p[i] & 0xC0) == 0x40) {
            i += 2;
            if (i >= available)
                return header;
        }
        const uint8_t flags = p[i] & 0xF0;
        if (flags == 0x20) {
            hasStamp = true;
            stampAt = i;
            headerSize = i + 5;
        } else if (flags == 0x30) {
            hasStamp = true;
            stampAt = i + 5;
            headerSize = i + 10;
        } else {
            headerSize = i + 1;
        }
    }
    // A header longer than its packet leaves no payload: the packet is dropped.
    if (headerSize > packetLength)
        return skip(packetLength);
    if (available < headerSize)
        return header;

    const bool video = id == videoStreamId;
    if (hasStamp) {
        const uint32_t stamp = ReadTimeStamp(p + stampAt);
        if (video)
            lastVideoTimeStamp = stamp;
        else
            lastAudioTimeStamp = stamp;
    }
    header.kind = Header::Packet;
    header.length = headerSize;
    header.payloadLength = packetLength - headerSize;
    header.video = video;
    header.codecId = codec;
    return header;
}
