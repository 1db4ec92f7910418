#pragma once

#include <cstdint>

// Layout of interleaved PCM frames; a plain record copied by value.
struct zSampleFormat {
    int32_t channels = 2;
    int32_t rate = 48000;
    int32_t bits = 16;
};

// A block of uncompressed, interleaved PCM audio in memory.
class zSample {
public:
    zSample() = default;
    ~zSample();
    zSample(const zSample&) = delete;
    zSample& operator=(const zSample&) = delete;

    // Releases the buffer; the sample is empty afterwards.
    void Free();
    // Releases the old buffer and allocates bits x channels x frames / 8 bytes
    // in the given format. Null on failure, with the sample left empty.
    uint8_t* AllocAs(int32_t frames, const zSampleFormat& format);

    uint32_t GetByteSize() const;

    int32_t frameCount = 0;
    // Owned (new[]); null when empty.
    uint8_t* data = nullptr;
    zSampleFormat format;
};
