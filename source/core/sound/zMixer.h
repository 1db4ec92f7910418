#pragma once

#include "framework/math/zMatrix3.h"

#include <cstdint>

class Tavrin;
class zMixerStreamInterface;
class zSound;
class zVector;
struct dAV_AudioFormat;

// One of the mixer's 64 channels: a sound or a stream and how it plays.
struct zMixerChannel {
    zSound* sound = nullptr;
    // A script's reservation; a locked channel is never handed out as free.
    uint8_t locked = 0;
    // A stream loops only when this is exactly 1.
    int32_t loop = 0;
    // Where a looping stream is sought when it ends, in milliseconds.
    int32_t loopPoint = 0;
    // Owned by the channel.
    zMixerStreamInterface* streamInterface = nullptr;
    float pitch = 1.0f;
    float gain = 1.0f;
    // 0.5 is centre.
    float pan = 0.5f;
    float firstVector[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float secondVector[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    zMatrix3 orientation;
};

// The abstract sound mixer: 64 channels, a master gain and a per-frame update
// that keeps streamed channels fed. The order of the virtual operations is
// fixed: the back-ends fill the same slots. Main thread only; the streams'
// decoder threads reach a channel only through its stream interface's locks.
// Sounds handed in are borrowed (the core's cache owns them). Gains and pitch
// are factors (1 unchanged), pan 0 .. 1 with 0.5 centred.
class zMixer {
public:
    static constexpr int32_t ChannelCount = 64;

    // Channel states.
    enum : int32_t {
        ChannelIdle = 1,
        ChannelPlaying = 2,
    };

    // With makeCurrent the mixer becomes the core's current mixer. The core
    // is not owned; it outlives the mixer.
    zMixer(Tavrin* owner, bool makeCurrent);
    zMixer(const zMixer&) = delete;
    zMixer& operator=(const zMixer&) = delete;

    // False when no audio output can be opened.
    virtual bool OpenAudio() = 0;
    virtual void CloseAudio() = 0;
    // Each argument may be null.
    virtual void SetListenerMatrix(const zVector* position, const zVector* velocity, const zMatrix3* orientation) = 0;
    virtual bool StartChannel(int32_t channel, zSound* sound) = 0;
    virtual void StopChannel(int32_t channel) = 0;
    virtual void PauseChannel(int32_t channel) = 0;
    virtual void ResumeChannel(int32_t channel) = 0;
    // ChannelIdle or ChannelPlaying.
    virtual int32_t GetChannelState(int32_t channel) = 0;
    // Makes the back-end's copy of the sound (false when it cannot); FreeSound
    // releases it and must come before the sound is deleted.
    virtual bool SetupSound(zSound* sound) = 0;
    virtual void FreeSound(zSound* sound) = 0;
    virtual void SetMasterGain(float gain) = 0;
    virtual float GetMasterGain() = 0;
    virtual bool StreamStart(int32_t channel, const dAV_AudioFormat& format) = 0;
    // Moves decoded data from the channel's stream interface to the device.
    virtual void StreamRefill(int32_t channel) = 0;
    virtual void StreamStop(int32_t channel) = 0;
    // The base bodies store the value in the channel record; a back-end may
    // also apply it to its device.
    virtual void SetChannelPitch(int32_t channel, float pitch);
    virtual void SetChannelGain(int32_t channel, float gain);
    virtual void SetChannelPan(int32_t channel, float pan);
    virtual void SetChannelLoop(int32_t channel, int32_t loop);
    virtual void SetChannelLoopPoint(int32_t channel, int32_t milliseconds);
    // If this is the core's default mixer the core is left without one, else
    // if it is the current one the default returns. Stream interfaces still
    // on channels are deleted.
    virtual ~zMixer();

    bool IsOpen() const { return audioOpen != 0; }
    // The lowest idle, unlocked channel without a stream interface, or -1.
    int32_t GetFreeChannel();
    // The channel the sound started on, or -1.
    int32_t StartSound(zSound* sound);
    // The channel the stream started on, or -1.
    int32_t StartStream(const char* path);
    // SetupChannelStreamInterface on a checked channel.
    bool StartChannelStream(int32_t channel, const char* path);
    // A free channel, locked, or -1.
    int32_t LockFreeChannel();
    // False when the channel is already locked (or out of range).
    bool TryLockChannel(int32_t channel);
    void UnlockChannel(int32_t channel);
    void UnlockAllChannels();
    // The sound on the channel (borrowed), or null; an out-of-range channel
    // logs an error.
    zSound* GetChannelSound(int32_t channel) const;
    // Stops every channel and puts loop, gain, pitch and pan back.
    void ResetChannels();
    // Stops the channel's stream and deletes its stream interface.
    void StopChannelStream(int32_t channel);
    void StopAllChannels();
    void Mute();
    void Unmute();
    // Opens the content at path as the channel's stream; with the decoder side
    // of the stream interface.
    bool SetupChannelStreamInterface(int32_t channel, const char* path);
    // Once per frame: refills streamed channels, loops or ends finished
    // streams and releases drained ones.
    void Update();

    // Channel indices come from scripts; out-of-range ones are refused with an
    // error from the method named.
    static bool IsValidChannel(int32_t channel, const char* method);

    Tavrin* core;
    uint8_t audioOpen = 0;
    zMixerChannel channels[ChannelCount];
    uint8_t muted = 0;
    float savedMasterGain = 1.0f;
};
