#pragma once

#include "core/sound/zMixer.h"
#include "dav/core/dAV_Driver.h"

#include <cstdint>

// The mark a sound carries in its mixer field while it is set up on the OpenAL
// mixer: the OpenAL buffer holding the whole sample.
class zALSoundHandle {
public:
    virtual ~zALSoundHandle() = default;
    uint32_t buffer = 0;
};

// The OpenAL mixer ("al"): each of the 64 channels owns an OpenAL source, a
// resident sound is one buffer with the whole sample, and a stream plays
// through eight queued buffers refilled every frame from the channel's stream
// interface. Main thread only; the one thing shared with another thread is a
// stream interface's ring, read under its buffer lock.
class zALMixer : public zMixer {
public:
    static constexpr int32_t StreamBufferCount = 8;
    static constexpr uint32_t StreamBufferBytes = 8192;

    zALMixer(Tavrin* owner, bool makeCurrent);
    // Closes the audio if it is still open.
    ~zALMixer() override;

    // Opens the default device (there is no "Generic Software" device: the
    // fallback is logged once), a context and 64 sources. True at once when
    // already open; false when the device or the sources cannot be had.
    bool OpenAudio() override;
    void CloseAudio() override;
    // Only while open; a null argument leaves that property as it is.
    void SetListenerMatrix(const zVector* position, const zVector* velocity, const zMatrix3* orientation) override;
    // False when closed, for a sound without a buffer, or a channel outside
    // 0..63; tries four times to attach the buffer.
    bool StartChannel(int32_t channel, zSound* sound) override;
    void StopChannel(int32_t channel) override;
    void PauseChannel(int32_t channel) override;
    void ResumeChannel(int32_t channel) override;
    // 1 stopped or idle, 2 playing, 3 paused, 0 otherwise (and for a channel
    // outside 0..63 or a closed mixer).
    int32_t GetChannelState(int32_t channel) override;
    // False when closed, for a null sound, one set up already or when the
    // handle cannot be allocated. Upload errors are logged and still true:
    // the sound keeps its handle.
    bool SetupSound(zSound* sound) override;
    void FreeSound(zSound* sound) override;
    // The listener's gain is 0.8 × gain, at least 0.01.
    void SetMasterGain(float gain) override;
    float GetMasterGain() override;
    bool StreamStart(int32_t channel, const dAV_AudioFormat& format) override;
    void StreamRefill(int32_t channel) override;
    void StreamStop(int32_t channel) override;
    void SetChannelGain(int32_t channel, float gain) override;
    void SetChannelPitch(int32_t channel, float pitch) override;
    void SetChannelPan(int32_t channel, float pan) override;
    void SetChannelLoop(int32_t channel, int32_t loop) override;

    bool HasEAX() const { return eaxAvailable != 0; }
    // The OpenAL source name of a channel; 0 when closed or out of range.
    uint32_t GetSource(int32_t channel) const;
    // Stream buffers the channel has queued since its stream started.
    uint64_t GetStreamBuffersQueued(int32_t channel) const;
    // Free stream buffers of the channel (8 at rest).
    int32_t GetStreamFreeCount(int32_t channel) const;
    bool IsStreaming(int32_t channel) const;

private:
    struct StreamRecord {
        // Non-null while the channel streams; the staging block of a refill.
        uint8_t* staging = nullptr;
        int32_t reserved = 0;
        dAV_AudioFormat format;
        // The free buffer names form a stack in the slots from next on; the
        // slots of queued buffers may hold stale names, so the eight names
        // are also kept apart for deletion.
        uint32_t buffers[StreamBufferCount] = {};
        uint32_t names[StreamBufferCount] = {};
        int32_t next = 0;
        int32_t freeCount = StreamBufferCount;
        // Set when a refill first starts the source; one per channel, so one
        // stream starting does not keep another from ever playing.
        bool playbackStarted = false;
        uint64_t queued = 0;
    };

    void* device = nullptr;
    void* context = nullptr;
    uint8_t eaxAvailable = 0;
    uint32_t sources[ChannelCount] = {};
    StreamRecord streams[ChannelCount];
};
