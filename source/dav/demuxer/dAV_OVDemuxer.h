#pragma once

#include "dav/core/dAV_Demuxer.h"

#include <cstdint>
#include <memory>

struct stb_vorbis;

// Ogg Vorbis, decoded here through stb_vorbis's push interface and written as
// 16-bit PCM straight to the stream's audio side. Only whole pages with a
// valid checksum reach the decoder: garbage between pages and damaged pages
// are dropped with a log line, and a second logical stream ends the side.
class dAV_OVDemuxer : public dAV_Demuxer {
public:
    static constexpr uint32_t InputSize = 16384;
    // The input grows up to this size for pages and packets larger than InputSize.
    static constexpr uint32_t MaxInputSize = 256 * 1024;

    explicit dAV_OVDemuxer(zStream* reader) : dAV_Demuxer(reader) {}

    bool Seek(dAV_Stream* stream, int32_t ms) override;
    const char* GetName() override { return "OGG Vorbis stream demuxer"; }
    bool TestDemux(dAV_Stream* stream) override;
    bool DemuxNext(dAV_Stream* stream) override;
    bool Init(dAV_Stream* stream, bool scan) override;
    void Close() override;
    ~dAV_OVDemuxer() override;

    int32_t GetSampleRate() const { return sampleRate; }
    int32_t GetChannels() const { return channels; }
    int32_t GetMaxFrameSize() const { return maxFrameSize; }

    // The Ogg page checksum (CRC-32, polynomial 0x04C11DB7, no reflection).
    static uint32_t PageChecksum(const uint8_t* page, uint32_t size);

protected:
    void OnRewind() override;

private:
    enum class Step { Frame, Progress, End };

    // Opens the decoder on the headers from the reader's position.
    bool OpenDecoder();
    void CloseDecoder();
    // Reads behind the pending bytes; returns the count read.
    uint32_t TopUp();
    // Extends the checked prefix over whole, valid pages.
    void CheckPages(bool dropGarbage);
    bool Grow();
    void Consume(uint32_t count);
    // One decoder call on the checked bytes.
    Step DecodeStep(float**& samples, int& count);
    // Converts count frames from first on into the output buffer; returns the frames kept.
    int ConvertFrames(float** samples, int first, int count);
    void WriteOutput(dAV_Stream* stream, int frames);
    // Positions at a byte offset and decodes until the sample position is known; -1 at the end.
    int64_t PositionAt(uint32_t offset);

    std::unique_ptr<uint8_t[]> input;
    uint32_t inputCapacity = 0;
    uint32_t pending = 0;
    uint32_t checked = 0;
    bool inputEnded = false;
    uint32_t dataStart = 0; // file offset of the first page after the headers
    std::unique_ptr<int16_t[]> output;
    int outputFrames = 0;   // frames waiting in the output buffer after a seek
    int32_t skipSamples = 0;

    int32_t sampleRate = 0;
    int32_t channels = 0;
    uint32_t setupMemory = 0;
    uint32_t setupTempMemory = 0;
    uint32_t tempMemory = 0;
    int32_t maxFrameSize = 0;
    stb_vorbis* decoder = nullptr;

    uint32_t serial = 0;
    bool serialKnown = false;
    bool streamEndSeen = false;
    bool formatChanged = false;
    bool formatChangeLogged = false;
};
