#pragma once

#include <cstdint>

// Format of the decoded pictures that follow, announced at each sequence header.
struct dAV_FrameFormat {
    static constexpr int32_t PlanarRGB = 1; // three full-size 8-bit planes
    static constexpr int32_t YUV420 = 2;    // planar YUV 4:2:0

    int32_t kind = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t chromaWidth = 0;
    int32_t chromaHeight = 0;
};

// Format of the PCM that follows: signed 16-bit, interleaved, one channel
// unless stereo. Rate 0 means not known yet.
struct dAV_AudioFormat {
    int32_t rate = 0;
    int32_t bits = 16;
    bool stereo = false;

    int32_t GetChannels() const { return stereo ? 2 : 1; }
    int32_t GetFrameBytes() const { return GetChannels() * (bits / 8); }
    bool operator==(const dAV_AudioFormat&) const = default;
};

// Video output of a stream: receives decoded pictures and shows them when the
// stream says they are due.
class dAV_Driver {
public:
    dAV_Driver() = default;
    dAV_Driver(const dAV_Driver&) = delete;
    dAV_Driver& operator=(const dAV_Driver&) = delete;

    // Operations the stream never calls, free for the driver's owner.
    virtual int32_t GetCaps() { return 0; }
    virtual bool IsBusy() = 0;
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    virtual bool IsValid() = 0;
    virtual void Flush() = 0;

    // Called by the video decoder at each sequence header.
    virtual bool SetFormat(const dAV_FrameFormat& format) = 0;
    // Takes one decoded frame: the three plane pointers are valid only during the call.
    virtual bool WriteFrame(uint8_t* const planes[3], int32_t timeStamp) = 0;
    // True while a written frame waits to be presented: the stream stops demuxing video.
    virtual bool HasFrame() = 0;
    virtual bool NoFrame() = 0;
    virtual void ClearFrame() { frameWaiting = false; }
    virtual bool SupportsGapless() { return false; }
    // Shows the waiting frame and clears it.
    virtual bool PresentFrame() = 0;
    virtual bool IsReady() = 0;
    virtual bool GetStateFlag() { return stateFlag; }
    virtual ~dAV_Driver();

    int32_t frameRate = 0; // frames per second x 10000, written by the video decoder
    int32_t frameKind = 0; // kind of the last announced format, kept by the driver
    int32_t frameTime = 0;
    bool stateFlag = false;
    int32_t frameWidth = 0;
    int32_t frameHeight = 0;
    float pixelAspect = 1.0f; // written by the video decoder
    // The largest frame width or height the driver takes, 0 for no limit of
    // its own: the video decoder refuses larger sequences before decoding.
    int32_t maxFrameSide = 0;
    bool frameWaiting = false;
    int32_t frameCount = 0;
};

// Audio output of a stream: receives 16-bit PCM.
class dAV_AudioDriver {
public:
    dAV_AudioDriver() = default;
    dAV_AudioDriver(const dAV_AudioDriver&) = delete;
    dAV_AudioDriver& operator=(const dAV_AudioDriver&) = delete;

    // Operations the stream never calls, free for the driver's owner.
    virtual bool Start() = 0;
    virtual void Stop() = 0;

    // Format of the data of the following Write calls.
    virtual bool SetFormat(const dAV_AudioFormat& format) = 0;
    // Appends PCM and returns how many of the bytes it took; the stream keeps
    // the rest and offers it again, so a driver never has to drop audio.
    virtual uint32_t Write(const void* data, uint32_t byteCount, int32_t timeStamp) = 0;
    // True when the driver holds enough data: the stream stops demuxing audio.
    virtual bool IsBufferFull() = 0;
    virtual bool IsBufferNotFull() = 0;
    // The stream is closing: no more data follows.
    virtual void EndOfStream() { active = false; }
    virtual bool FillDone() = 0;
    virtual bool SupportsGapless() { return false; }
    virtual ~dAV_AudioDriver();

    bool active = true;
};
