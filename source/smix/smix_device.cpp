#include "smix/zSMixMixer.h"

#include "core/sound/zSound.h"
#include "framework/system/zLogStream.h"

#include <algorithm>
#include <cstring>
#include <new>

zSMixMixer::zSMixMixer(Tavrin* owner, bool makeCurrent) : zMixer(owner, makeCurrent) {}

zSMixMixer::~zSMixMixer()
{
    // Shutdown closes the audio first; a mixer deleted open still must not
    // leave the audio thread pushing into freed memory.
    device.Close();
    output.Close();
}

void zSMixMixer::DeviceDone(void* user, void* buffer)
{
    static_cast<zSMixMixer*>(user)->ReclaimBuffer(buffer);
}

bool zSMixMixer::OpenAudio()
{
    if (audioOpen != 0)
        return true;
    {
        std::lock_guard<std::mutex> guard(freeLock);
        for (int32_t i = 0; i < BufferCount; ++i) {
            fillLevels[i] = 0;
            freeStack[i] = uint8_t(i);
        }
        freeCount = BufferCount;
    }
    // A "file" mixer writes its WAV file and needs no sound card at all.
    if (!output.IsOpen() && !device.Open(OutputRate, 2, &DeviceDone, this))
        return false;
    audioOpen = 1;
    return true;
}

void zSMixMixer::CloseAudio()
{
    if (output.IsOpen()) {
        // What the file system still buffers goes out first: a write may fail
        // only there.
        if (!output.Flush())
            ReportOutputFailure("zSMixMixer::CloseAudio");
        uint32_t dataBytes = dataBytesWritten;
        if (outputFailed) {
            // Bytes counted as written may have been lost in a buffer: the
            // header counts the whole frames the file really holds.
            const uint32_t length = output.GetSize();
            const uint32_t held = length > WaveHeaderBytes ? length - WaveHeaderBytes : 0;
            dataBytes = std::min(dataBytes, held) & ~3u;
        }
        // An output that cannot seek (a pipe) keeps the sizes of 0 it was
        // given at the start; its data is all there.
        if (output.Seek(int32_t(DataSizeAt), 0)) {
            if (!output.WriteU32(dataBytes) || !output.Seek(int32_t(RiffSizeAt), 0)
                || !output.WriteU32(WaveHeaderBytes - 8 + dataBytes) || !output.Flush())
                ReportOutputFailure("zSMixMixer::CloseAudio");
        }
        if (!output.Close())
            ReportOutputFailure("zSMixMixer::CloseAudio");
    }
    // Every queued buffer comes back through the done callback.
    device.Close();
    audioOpen = 0;
}

bool zSMixMixer::OpenWaveFile(const char* path)
{
    if (path == nullptr || output.IsOpen() || !output.Open(path, false, true, false))
        return false;
    outputPath.Assign(path);
    outputFailed = false;
    dataBytesWritten = 0;
    // 48000 Hz, 16-bit stereo PCM; both sizes are patched at CloseAudio.
    uint8_t header[WaveHeaderBytes] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0};
    auto put32 = [&header](uint32_t at, uint32_t value) {
        for (uint32_t i = 0; i < 4; ++i)
            header[at + i] = uint8_t(value >> (8 * i));
    };
    put32(24, uint32_t(OutputRate));
    put32(28, uint32_t(OutputRate) * 4);
    header[32] = 4;
    header[34] = 16;
    std::memcpy(header + 36, "data", 4);
    if (output.Write(header, WaveHeaderBytes) != WaveHeaderBytes) {
        LogError("zSMixMixer::OpenWaveFile") << "Cannot write the header of the mixer output file '" << path << "'.\n";
        output.Close();
        return false;
    }
    return true;
}

void zSMixMixer::ReportOutputFailure(const char* method)
{
    if (outputFailed)
        return;
    outputFailed = true;
    LogError(method) << "Writing the mixer output file '" << (outputPath.Get() != nullptr ? outputPath.Get() : "")
                     << "' failed: the sound from about byte " << dataBytesWritten << " of its data on is lost.\n";
}

void zSMixMixer::SetFixedStep(int32_t ticks)
{
    const int64_t bytes = int64_t(ticks) * OutputRate / 10000 * 4;
    fixedStep = int32_t(std::clamp<int64_t>(bytes, 0, INT32_MAX & ~3));
    *GlobalLogStream << "Fixed mixer step: " << fixedStep << " bytes (step = " << ticks << ").\n";
}

void zSMixMixer::QueueBuffer(int32_t index)
{
    ++buffersQueued;
    if (!device.Write(buffers[index], BufferBytes)) {
        LogWarning("zSMixMixer::Update") << "Audio output write failed.\n";
        // Not played: straight back on the free stack, or it is lost.
        ReclaimBuffer(buffers[index]);
    }
}

void zSMixMixer::Update()
{
    if (output.IsOpen()) {
        uint32_t amount = fixedStep != 0 ? uint32_t(fixedStep) : BufferBytes;
        alignas(16) int16_t piece[WavePieceBytes / 2];
        while (amount > 0) {
            const uint32_t count = std::min(amount, WavePieceBytes);
            // After a failed write the channels still play on with the clock.
            Mix(piece, count);
            if (!outputFailed) {
                const uint32_t written = output.Write(piece, count);
                dataBytesWritten += written;
                if (written != count)
                    ReportOutputFailure("zSMixMixer::Update");
            }
            amount -= count;
        }
        return;
    }
    if (audioOpen == 0)
        return;
    const uint32_t chunk = fixedStep > 0 && uint32_t(fixedStep) <= BufferBytes ? uint32_t(fixedStep) : BufferBytes;
    for (;;) {
        int32_t index = 0;
        uint32_t fill = 0;
        {
            std::lock_guard<std::mutex> guard(freeLock);
            if (freeCount == 0)
                return;
            index = freeStack[freeCount - 1];
            fill = fillLevels[index];
        }
        const uint32_t amount = std::min(chunk, BufferBytes - fill);
        Mix(reinterpret_cast<int16_t*>(buffers[index] + fill), amount);
        fill += amount;
        bool full = false;
        {
            std::lock_guard<std::mutex> guard(freeLock);
            fillLevels[index] = fill;
            if (fill == BufferBytes) {
                // Only the main thread pops, so the top is still this buffer.
                --freeCount;
                full = true;
            }
        }
        if (full)
            QueueBuffer(index);
        if (fixedStep > 0)
            return;
    }
}

void zSMixMixer::ReclaimBuffer(void* buffer)
{
    std::lock_guard<std::mutex> guard(freeLock);
    int32_t index = -1;
    for (int32_t i = 0; i < BufferCount; ++i) {
        if (buffer == buffers[i])
            index = i;
    }
    // Not one of ours, or already on the stack: pushing it would corrupt the stack.
    bool onStack = false;
    for (int32_t i = 0; i < freeCount; ++i)
        onStack = onStack || freeStack[i] == index;
    if (index < 0 || onStack || freeCount >= BufferCount) {
        LogError("zSMixMixer::ReclaimBuffer") << "Could not reclaim specified buffer.\n";
        return;
    }
    fillLevels[index] = 0;
    freeStack[freeCount++] = uint8_t(index);
    ++buffersReclaimed;
}

int32_t zSMixMixer::GetFreeBufferCount()
{
    std::lock_guard<std::mutex> guard(freeLock);
    return freeCount;
}

uint64_t zSMixMixer::GetBuffersReclaimed()
{
    std::lock_guard<std::mutex> guard(freeLock);
    return buffersReclaimed;
}

bool zSMixMixer::StartChannel(int32_t channel, zSound* sound)
{
    if (audioOpen == 0 || sound == nullptr || !IsValidChannel(channel, "zSMixMixer::StartChannel"))
        return false;
    StopChannel(channel);
    channels[channel].sound = sound;
    play[channel].position = 0;
    play[channel].state = ChannelPlaying;
    return true;
}

void zSMixMixer::StopChannel(int32_t channel)
{
    if (!IsValidChannel(channel, "zSMixMixer::StopChannel"))
        return;
    StopChannelStream(channel);
    play[channel].state = ChannelIdle;
}

int32_t zSMixMixer::GetChannelState(int32_t channel)
{
    if (!IsValidChannel(channel, "zSMixMixer::GetChannelState"))
        return 0;
    return play[channel].state;
}

int64_t zSMixMixer::GetChannelPosition(int32_t channel) const
{
    return channel >= 0 && channel < ChannelCount ? play[channel].position : 0;
}

bool zSMixMixer::SetupSound(zSound* sound)
{
    if (audioOpen == 0 || sound == nullptr || sound->mixerData != nullptr)
        return false;
    auto* handle = new (std::nothrow) zSoftSoundHandle;
    if (handle == nullptr) {
        LogError("zSMixMixer::SetupSound") << "Failed to allocate sound handle.\n";
        return false;
    }
    sound->mixerData = handle;
    return true;
}

void zSMixMixer::FreeSound(zSound* sound)
{
    if (sound == nullptr)
        return;
    // A channel must not go on reading a sound that may be deleted next.
    for (int32_t i = 0; i < ChannelCount; ++i) {
        if (channels[i].sound == sound)
            EndChannel(i);
    }
    // The mark holds no device resource: it goes whether or not the audio is
    // still open, or sounds freed after CloseAudio would leak it.
    if (sound->mixerData == nullptr)
        return;
    delete static_cast<zSoftSoundHandle*>(sound->mixerData);
    sound->mixerData = nullptr;
}
