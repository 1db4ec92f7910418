#pragma once

#include <cstdint>

class dAV_Stream;
class zStream;

// Cuts a media file into packets for the stream's decoders (or decodes them
// itself). A file with video and audio is opened twice: each instance delivers
// only the sides its flags name.
class dAV_Demuxer {
public:
    static constexpr uint32_t DeliversAudio = 1;
    static constexpr uint32_t DeliversVideo = 2;

    // The reader stays the stream's and outlives the demuxer.
    explicit dAV_Demuxer(zStream* reader) : reader(reader) {}
    dAV_Demuxer(const dAV_Demuxer&) = delete;
    dAV_Demuxer& operator=(const dAV_Demuxer&) = delete;

    // To the time in milliseconds.
    virtual bool Seek(dAV_Stream* stream, int32_t ms) = 0;
    virtual const char* GetName() = 0;
    // Probes the file from the reader's current position.
    virtual bool TestDemux(dAV_Stream*) { return true; }
    // Reads and dispatches the next block; true when the file is exhausted.
    virtual bool DemuxNext(dAV_Stream* stream) = 0;
    // Prepares after a successful probe.
    virtual bool Init(dAV_Stream*, bool) { return true; }
    // Releases the demuxer's buffers.
    virtual void Close() {}
    virtual ~dAV_Demuxer() = default;

    // Back to the start of the file; the demuxer drops what it held of the old position.
    void Rewind();

    uint32_t sideFlags = 0;
    uint8_t ended = 0;
    int32_t readSize = 4096;
    zStream* reader;

protected:
    // Called by Rewind once the reader is back at the start.
    virtual void OnRewind() {}
};
