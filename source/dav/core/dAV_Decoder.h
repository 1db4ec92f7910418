#pragma once

#include <cstdint>

class dAV_Stream;

// Decodes the video packets a demuxer delivers and hands frames to the
// stream's video driver. Decoders run on whatever thread pumps their stream;
// the packet bytes [begin, end) are only valid during the call.
class dAV_VideoDecoder {
public:
    dAV_VideoDecoder() = default;
    dAV_VideoDecoder(const dAV_VideoDecoder&) = delete;
    dAV_VideoDecoder& operator=(const dAV_VideoDecoder&) = delete;

    virtual bool Open() = 0;
    virtual void Close() = 0;
    // Time stamp in ticks of 0.1 ms.
    virtual void Decode(dAV_Stream* stream, const uint8_t* begin, const uint8_t* end, int32_t timeStamp) = 0;
    virtual ~dAV_VideoDecoder() = default;

    // A decoder holds back the frames that follow one its driver still shows,
    // so none is overwritten before it was presented.
    // True while data or a frame is held back.
    virtual bool HasBacklog() { return false; }
    // Goes on with what was held back, until the driver holds a frame again.
    virtual void Resume(dAV_Stream*) {}
    // The data has ended: hands out what the decoder still holds.
    virtual void Finish(dAV_Stream*) {}
    // The stream moved: what was held back belongs to the old position.
    virtual void Discard() {}
};

// Decodes the audio packets a demuxer delivers and writes PCM through the stream.
class dAV_AudioDecoder {
public:
    dAV_AudioDecoder() = default;
    dAV_AudioDecoder(const dAV_AudioDecoder&) = delete;
    dAV_AudioDecoder& operator=(const dAV_AudioDecoder&) = delete;

    virtual void ResetTime() = 0;
    // Skips data without decoding it; returns the time reached in ms.
    virtual int32_t Seek(const uint8_t* begin, const uint8_t* end, int32_t targetMs) = 0;
    // The time decoded so far, in ms.
    virtual int32_t GetTime() = 0;
    // Opens the decoding library; false when it cannot be set up.
    virtual bool Init() = 0;
    virtual void Close() = 0;
    virtual void Decode(dAV_Stream* stream, const uint8_t* begin, const uint8_t* end, int32_t timeStamp) = 0;
    virtual ~dAV_AudioDecoder() = default;
    // The data has ended: decodes what the decoder still holds.
    virtual void Finish(dAV_Stream*) {}
};
