#pragma once

#include "dav/core/dAV_Decoder.h"

#include <cstdint>
#include <deque>
#include <vector>

struct mpeg2dec_s;

// MPEG-1 and MPEG-2 video through libmpeg2: frames go to the stream's video
// driver as planar YUV 4:2:0. Packets are kept until libmpeg2 has parsed them,
// so decoding can pause while the driver still holds a frame.
//
// A sequence libmpeg2 cannot decode safely, or larger than the driver takes,
// is refused at its header, before libmpeg2 allocates its frames: an error
// is logged, nothing is announced to the driver, and decoding starts over at
// the next sequence header.
class dAV_MPEGVideoDecoder : public dAV_VideoDecoder {
public:
    // The largest coded width or height decoded for a driver that sets no
    // limit of its own (dAV_Driver::maxFrameSide).
    static constexpr int32_t DefaultMaxFrameSide = 4096;
    // Fewer coded lines than this are refused: a field picture of such a
    // sequence is shorter than one macroblock row, and libmpeg2 then writes
    // and predicts whole macroblocks past the frame.
    static constexpr int32_t MinFrameLines = 32;

    dAV_MPEGVideoDecoder() = default;

    bool Open() override;
    void Close() override;
    void Decode(dAV_Stream* stream, const uint8_t* begin, const uint8_t* end, int32_t timeStamp) override;
    ~dAV_MPEGVideoDecoder() override;
    bool HasBacklog() override { return framePending || !packets.empty(); }
    void Resume(dAV_Stream* stream) override;
    // A stream that stops without a sequence end code still has its last picture.
    void Finish(dAV_Stream* stream) override;
    void Discard() override;

    int32_t GetBytesFed() const { return bytesFed; }

    // Puts back libmpeg2's process-wide allocation hooks that hand out every
    // block cleared, so that a corrupt stream never shows uninitialised
    // memory. They are in place before main; only code that installed hooks
    // of its own (tests) calls this, with no decoder open.
    static void InstallClearedAllocation();
    // The same hooks, and every block handed out from now on also gets a
    // guard zone on each side: libmpeg2 is not instrumented by the
    // sanitizers, so a write outside a block is found when libmpeg2 frees it,
    // and ends the program with a report on the standard error stream. The
    // fuzz build installs these before main. Same callers as above.
    static void InstallGuardedAllocation();

private:
    struct Packet {
        std::vector<uint8_t> bytes;
        int32_t timeStamp = 0;
    };

    // False when the sequence is refused (logged).
    bool OnSequence(dAV_Stream* stream);

    mpeg2dec_s* decoder = nullptr;
    int32_t bytesFed = 0;
    std::deque<Packet> packets;
    bool frontGiven = false;   // libmpeg2 reads the front packet
    bool framePending = false; // a decoded frame waits for the driver
    int32_t pendingTimeStamp = 0;
    int32_t lastTimeStamp = 0;
    bool ended = false;        // the last data fed closed with a sequence end
    bool pictureSeen = false;  // a picture began since the last sequence header or reset
};
