#pragma once

#include "core/sound/zMixer.h"
#include "framework/filesystem/zStream.h"
#include "framework/tools/zString.h"
#include "platform/PlatformAudioOut.h"

#include <cstdint>
#include <mutex>

// The mark a sound carries in its mixer field while it is set up on a
// software mixer; it holds nothing.
class zSoftSoundHandle {
public:
    virtual ~zSoftSoundHandle() = default;
};

// The software mixer: mixes the resident sounds of the 64 channels into
// 48000 Hz, 16-bit stereo in fixed point. Output goes either to the platform's
// audio device ("soft") through eight 16384-byte buffers, or, once
// OpenWaveFile succeeded, into a WAV file ("file") with no device opened.
// It has no listener, no pause and plays no streams (the stream operations
// succeed and do nothing).
//
// Everything runs on the main thread except the device's done callback, which
// only puts a played buffer back on the free stack.
class zSMixMixer : public zMixer {
public:
    static constexpr int32_t OutputRate = 48000;
    static constexpr int32_t BufferCount = 8;
    static constexpr uint32_t BufferBytes = 16384;
    static constexpr uint32_t WavePieceBytes = 1024;

    zSMixMixer(Tavrin* owner, bool makeCurrent);
    // Closes the WAV file without finishing its header; call CloseAudio first.
    ~zSMixMixer() override;

    // With a WAV file open, only marks the audio open; otherwise opens the
    // device. False, with no message, when the device does not open.
    bool OpenAudio() override;
    // Finishes the WAV file's header if one is open (after a failed write,
    // with the sizes of the whole frames the file holds), then closes the
    // device (every queued buffer comes back first).
    void CloseAudio() override;
    void SetListenerMatrix(const zVector*, const zVector*, const zMatrix3*) override {}
    // False when closed, for a null sound or a channel outside 0..63.
    bool StartChannel(int32_t channel, zSound* sound) override;
    void StopChannel(int32_t channel) override;
    void PauseChannel(int32_t) override {}
    void ResumeChannel(int32_t) override {}
    // ChannelIdle or ChannelPlaying; 0 for a channel outside 0..63.
    int32_t GetChannelState(int32_t channel) override;
    // False when closed, for a null sound, a sound set up already, or when the
    // mark cannot be allocated.
    bool SetupSound(zSound* sound) override;
    void FreeSound(zSound* sound) override;
    // Unclamped.
    void SetMasterGain(float gain) override { masterVolume = gain; }
    float GetMasterGain() override { return masterVolume; }
    bool StreamStart(int32_t, const dAV_AudioFormat&) override { return true; }
    void StreamRefill(int32_t) override {}
    void StreamStop(int32_t) override {}

    // Creates (truncating) the WAV file at path on the current file system and
    // writes its header. False when it cannot be opened or its header cannot
    // be written (an error line): the mixer then stays a device mixer.
    bool OpenWaveFile(const char* path);
    // The bytes mixed per Update, from a duration in ticks of 1/10000 s,
    // always a whole number of frames; 0 or less turns the fixed step off.
    void SetFixedStep(int32_t ticks);
    int32_t GetFixedStep() const { return fixedStep; }
    // Once per frame, main thread: writes the step (or 16384 bytes) to the WAV
    // file, or fills and queues the free device buffers. Hides the base
    // stream update (zMixer::Update), which the core's frame end still runs
    // through a zMixer pointer.
    void Update();
    // Fills out with the mix of every playing channel and advances them;
    // bytes is rounded down to whole frames (4 bytes).
    void Mix(int16_t* out, uint32_t bytes);
    // The device callback's work: a played buffer goes back on the free stack.
    // Any thread.
    void ReclaimBuffer(void* buffer);

    // Position of a channel in 1/256 frames; 0 for a channel outside 0..63.
    int64_t GetChannelPosition(int32_t channel) const;
    int32_t GetFreeBufferCount();
    uint32_t GetDataBytesWritten() const { return dataBytesWritten; }
    uint64_t GetBuffersQueued() const { return buffersQueued; }
    uint64_t GetBuffersReclaimed();
    bool IsWaveFileOpen() { return output.IsOpen(); }
    // True once a write to the WAV file failed, reported once as an error;
    // nothing more is written to it. Also set by CloseAudio.
    bool HasOutputFailed() const { return outputFailed; }

private:
    struct ChannelPlay {
        // 24.8 fixed point: frame index × 256 plus the fraction. 64-bit so that
        // sounds longer than the 32-bit range (about 174 s) keep playing.
        int64_t position = 0;
        int32_t state = ChannelIdle;
    };

    static constexpr uint32_t AccumulatorFrames = 4096;
    static constexpr uint32_t WaveHeaderBytes = 44;
    static constexpr uint32_t RiffSizeAt = 4;
    static constexpr uint32_t DataSizeAt = 40;

    // Mixes at most AccumulatorFrames frames.
    void MixBlock(int16_t* out, uint32_t frames);
    void HandleSoundLoop(int32_t channel);
    void EndChannel(int32_t channel);
    void QueueBuffer(int32_t index);
    // The first failure logs an error; the file stays open for its header.
    void ReportOutputFailure(const char* method);
    static void DeviceDone(void* user, void* buffer);

    float masterVolume = 1.0f;
    // The free stack, shared with the audio thread: guarded by freeLock, like
    // the fill level of a buffer on it and the reclaim count.
    std::mutex freeLock;
    int32_t freeCount = 0;
    uint8_t freeStack[BufferCount] = {};
    uint64_t buffersReclaimed = 0;

    int32_t fixedStep = 0;
    zStream output{1};
    zString outputPath;
    bool outputFailed = false;
    // Data bytes the file system took.
    uint32_t dataBytesWritten = 0;
    uint32_t fillLevels[BufferCount] = {};
    alignas(16) uint8_t buffers[BufferCount][BufferBytes] = {};
    PlatformAudioOut device;
    uint64_t buffersQueued = 0;
    ChannelPlay play[ChannelCount];
    // 32-bit sums of a block; main thread only.
    alignas(16) int32_t accumulator[2 * AccumulatorFrames] = {};
};
