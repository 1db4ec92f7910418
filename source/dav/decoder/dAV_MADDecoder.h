#pragma once

#include "dav/core/dAV_Decoder.h"
#include "dav/core/dAV_Driver.h"

#include <cstdint>
#include <memory>
#include <vector>

// MPEG audio layers I to III through libmad, written as signed 16-bit PCM
// through the stream: interleaved stereo, or one value per frame for a
// single-channel stream, as the format before each block says.
class dAV_MADDecoder : public dAV_AudioDecoder {
public:
    // The longest frame libmad synthesises (layers II and III).
    static constexpr uint32_t MaxFrameSamples = 1152;

    dAV_MADDecoder();

    void ResetTime() override;
    int32_t Seek(const uint8_t* begin, const uint8_t* end, int32_t targetMs) override;
    int32_t GetTime() override;
    bool Init() override;
    void Close() override;
    void Decode(dAV_Stream* stream, const uint8_t* begin, const uint8_t* end, int32_t timeStamp) override;
    ~dAV_MADDecoder() override;
    // Decodes the last frame, which libmad holds back until bytes follow it.
    void Finish(dAV_Stream* stream) override;

    int32_t GetFramesDecoded() const { return framesDecoded; }
    // libmad's fixed point (28 fraction bits) to 16 bits, saturating at +-32767.
    static int16_t ScaleSample(int32_t sample);

private:
    struct State;

    // Moves the bytes libmad has not consumed to the front, appends the packet
    // and points libmad at the whole.
    void Feed(const uint8_t* begin, const uint8_t* end);

    bool opened = false;
    int32_t framesDecoded = 0;
    bool formatLogged = false;
    int32_t lastTimeStamp = 0;
    std::vector<int16_t> output;
    std::vector<uint8_t> input;
    std::unique_ptr<State> mad;
};
