#pragma once

#include "dav/core/dAV_Demuxer.h"
#include "dav/core/dAV_Driver.h"

#include <cstddef>
#include <cstdint>

// Elementary MPEG audio (MP1, MP2, MP3), optionally behind an ID3v2 tag: cut
// into 1024-byte packets for the MPEG audio decoder.
class dAV_MPADemuxer : public dAV_Demuxer {
public:
    static constexpr uint32_t BlockSize = 1024;

    explicit dAV_MPADemuxer(zStream* reader) : dAV_Demuxer(reader) {}

    bool Seek(dAV_Stream* stream, int32_t ms) override;
    const char* GetName() override { return "MPEG-Audio elementary stream demuxer"; }
    bool TestDemux(dAV_Stream* stream) override;
    bool DemuxNext(dAV_Stream* stream) override;
    // Reports the rate and channels of the first frame header to the stream.
    bool Init(dAV_Stream* stream, bool scan) override;

    // Moves the reader past an ID3v2 tag at its position; false (reader
    // unmoved) when there is none.
    bool SkipID3(bool log);

    // Rate and channels of the first MPEG audio frame header among the bytes;
    // false when there is none.
    static bool FindFormat(const uint8_t* bytes, size_t count, dAV_AudioFormat& format);

private:
    uint8_t block[BlockSize];
};
