#include "al/zALMixer.h"

#include "core/sound/zMixerStreamInterface.h"
#include "core/sound/zSound.h"
#include "framework/math/zVector.h"
#include "framework/system/zLogStream.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

ALCdevice* Device(void* device)
{
    return static_cast<ALCdevice*>(device);
}

} // namespace

zALMixer::zALMixer(Tavrin* owner, bool makeCurrent) : zMixer(owner, makeCurrent) {}

zALMixer::~zALMixer()
{
    if (audioOpen != 0 || device != nullptr)
        CloseAudio();
}

bool zALMixer::OpenAudio()
{
    if (audioOpen != 0)
        return true;
    *GlobalLogStream << "Starting OpenAL1.1 mixer...\n";
    device = alcOpenDevice("Generic Software");
    if (device == nullptr) {
        LogWarning("zALMixer::OpenAudio") << "Failed to open default device, performances might suffer.\n";
        device = alcOpenDevice(nullptr);
        if (device == nullptr) {
            LogError("zALMixer::OpenAudio") << "Failed to open default OpenAL device.\n";
            return false;
        }
    }
    const ALCchar* name = alcGetString(Device(device), ALC_DEVICE_SPECIFIER);
    *GlobalLogStream << "Device: " << (name != nullptr ? name : "") << "\n";
    context = alcCreateContext(Device(device), nullptr);
    if (context == nullptr || alcMakeContextCurrent(static_cast<ALCcontext*>(context)) != ALC_TRUE) {
        LogError("zALMixer::OpenAudio") << "Failed to create OpenAL context.\n";
        CloseAudio();
        return false;
    }
    eaxAvailable = alIsExtensionPresent("EAX2.0") == AL_TRUE ? 1 : 0;
    if (eaxAvailable != 0)
        *GlobalLogStream << "Audio device supports EAX2.0.\n";
    *GlobalLogStream << ChannelCount << " mixer channel.\n";
    alGetError();
    alGenSources(ChannelCount, sources);
    if (alGetError() != AL_NO_ERROR) {
        std::memset(sources, 0, sizeof(sources));
        LogError("zALMixer::OpenAudio") << "Failed to allocate OpenAL sources.\n";
        return false;
    }
    ResetChannels();
    // The listener gain is set directly: audioOpen is not set yet.
    alListenerf(AL_GAIN, 0.8f);
    *GlobalLogStream << "Done.\n\n";
    audioOpen = 1;
    return true;
}

void zALMixer::CloseAudio()
{
    StopAllChannels();
    // Streams whose interfaces went already still hold buffers.
    for (int32_t i = 0; i < ChannelCount; ++i)
        StreamStop(i);
    if (context != nullptr) {
        if (sources[0] != 0)
            alDeleteSources(ChannelCount, sources);
        std::memset(sources, 0, sizeof(sources));
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(static_cast<ALCcontext*>(context));
    }
    if (device != nullptr)
        alcCloseDevice(Device(device));
    device = nullptr;
    context = nullptr;
    eaxAvailable = 0;
    audioOpen = 0;
}

void zALMixer::SetListenerMatrix(const zVector* position, const zVector* velocity, const zMatrix3* orientation)
{
    if (audioOpen == 0)
        return;
    if (position != nullptr)
        alListener3f(AL_POSITION, position->x, position->y, position->z);
    if (velocity != nullptr)
        alListener3f(AL_VELOCITY, velocity->x, velocity->y, velocity->z);
    if (orientation != nullptr) {
        const zVector at = orientation->GetRow(2);
        const zVector up = orientation->GetRow(1);
        const ALfloat values[6] = {at.x, at.y, at.z, up.x, up.y, up.z};
        alListenerfv(AL_ORIENTATION, values);
    }
}

bool zALMixer::StartChannel(int32_t channel, zSound* sound)
{
    if (audioOpen == 0 || sound == nullptr || sound->mixerData == nullptr ||
        !IsValidChannel(channel, "zALMixer::StartChannel"))
        return false;
    StopChannel(channel);
    const ALuint source = sources[channel];
    alSourcef(source, AL_GAIN, 0.0f);
    alSourcePause(source);
    alSourceStop(source);
    alGetError();
    const ALuint buffer = static_cast<zALSoundHandle*>(sound->mixerData)->buffer;
    for (int attempt = 0; attempt < 4; ++attempt) {
        alSourcei(source, AL_BUFFER, ALint(buffer));
        if (alGetError() == AL_NO_ERROR) {
            alSourcePlay(source);
            const zMixerChannel& record = channels[channel];
            SetChannelLoop(channel, record.loop);
            SetChannelGain(channel, record.gain);
            SetChannelPitch(channel, record.pitch);
            SetChannelPan(channel, record.pan);
            channels[channel].sound = sound;
            return true;
        }
        *GlobalLogStream << "StartChannel() retrying.\n";
    }
    LogWarning("zALMixer::StartChannel") << "Failed to attach sound '" << sound->id.Get() << "' to channel "
                                         << channel << ".\n";
    return false;
}

void zALMixer::StopChannel(int32_t channel)
{
    if (audioOpen == 0 || !IsValidChannel(channel, "zALMixer::StopChannel"))
        return;
    alGetError();
    StopChannelStream(channel);
    alSourceStop(sources[channel]);
}

void zALMixer::PauseChannel(int32_t channel)
{
    if (audioOpen != 0 && IsValidChannel(channel, "zALMixer::PauseChannel"))
        alSourcePause(sources[channel]);
}

void zALMixer::ResumeChannel(int32_t channel)
{
    if (audioOpen != 0 && IsValidChannel(channel, "zALMixer::ResumeChannel"))
        alSourcePlay(sources[channel]);
}

int32_t zALMixer::GetChannelState(int32_t channel)
{
    if (!IsValidChannel(channel, "zALMixer::GetChannelState") || sources[channel] == 0)
        return 0;
    ALint state = 0;
    alGetSourcei(sources[channel], AL_SOURCE_STATE, &state);
    switch (state) {
    case AL_INITIAL:
    case AL_STOPPED:
        return ChannelIdle;
    case AL_PLAYING:
        return ChannelPlaying;
    case AL_PAUSED:
        return 3;
    default:
        return 0;
    }
}

void zALMixer::SetMasterGain(float gain)
{
    if (context != nullptr)
        alListenerf(AL_GAIN, std::max(gain * 0.8f, 0.01f));
}

float zALMixer::GetMasterGain()
{
    if (context == nullptr)
        return 0.0f;
    ALfloat gain = 0.0f;
    alGetListenerf(AL_GAIN, &gain);
    return gain * 1.25f;
}

void zALMixer::SetChannelPitch(int32_t channel, float pitch)
{
    if (!IsValidChannel(channel, "zALMixer::SetChannelPitch"))
        return;
    if (sources[channel] != 0)
        alSourcef(sources[channel], AL_PITCH, pitch);
    channels[channel].pitch = pitch;
}

void zALMixer::SetChannelGain(int32_t channel, float gain)
{
    if (!IsValidChannel(channel, "zALMixer::SetChannelGain"))
        return;
    if (sources[channel] != 0)
        alSourcef(sources[channel], AL_GAIN, gain);
    channels[channel].gain = gain;
}

void zALMixer::SetChannelPan(int32_t channel, float pan)
{
    if (IsValidChannel(channel, "zALMixer::SetChannelPan"))
        channels[channel].pan = pan;
}

void zALMixer::SetChannelLoop(int32_t channel, int32_t loop)
{
    if (!IsValidChannel(channel, "zALMixer::SetChannelLoop"))
        return;
    if (sources[channel] != 0) {
        // A stream loops by rewinding its content, never by its source.
        const bool looping = streams[channel].staging == nullptr && loop != 0;
        alSourcei(sources[channel], AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
    }
    channels[channel].loop = loop;
}

bool zALMixer::StreamStart(int32_t channel, const dAV_AudioFormat& format)
{
    if (audioOpen == 0 || !IsValidChannel(channel, "zALMixer::StreamStart"))
        return false;
    StreamRecord& stream = streams[channel];
    if (stream.staging != nullptr)
        return true;
    stream.next = 0;
    stream.freeCount = StreamBufferCount;
    stream.staging = new (std::nothrow) uint8_t[StreamBufferBytes];
    if (stream.staging == nullptr) {
        LogError("zALMixer::StreamStart") << "Failed to allocate stream staging block.\n";
        return false;
    }
    stream.format = format;
    alGetError();
    alGenBuffers(StreamBufferCount, stream.names);
    if (alGetError() != AL_NO_ERROR) {
        LogError("zALMixer::StreamStart") << "Failed to generate stream buffers.\n";
        delete[] stream.staging;
        stream.staging = nullptr;
        std::memset(stream.names, 0, sizeof(stream.names));
        return false;
    }
    std::memcpy(stream.buffers, stream.names, sizeof(stream.names));
    stream.playbackStarted = false;
    stream.queued = 0;
    alSourcei(sources[channel], AL_LOOPING, AL_FALSE);
    return true;
}

void zALMixer::StreamRefill(int32_t channel)
{
    if (audioOpen == 0 || !IsValidChannel(channel, "zALMixer::StreamRefill"))
        return;
    StreamRecord& stream = streams[channel];
    if (stream.staging == nullptr)
        return;
    const ALuint source = sources[channel];
    ALint processed = 0;
    alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
    for (; processed > 0 && stream.freeCount < StreamBufferCount; --processed) {
        stream.next = (stream.next + StreamBufferCount - 1) % StreamBufferCount;
        alSourceUnqueueBuffers(source, 1, &stream.buffers[stream.next]);
        ++stream.freeCount;
    }
    // A source that ran dry starts again once its queue is full.
    if (stream.freeCount == 0 && GetChannelState(channel) == ChannelIdle)
        alSourcePlay(source);

    zMixerStreamInterface* input = channels[channel].streamInterface;
    if (input == nullptr)
        return;
    zMemoryRingBuffer* ring = input->LockBuffer();
    while (stream.freeCount > 0) {
        const uint64_t readable = uint64_t(ring->GetBlockCount() - ring->GetFreeBlockCount()) * ring->GetBlockSize();
        if (readable < StreamBufferBytes || ring->Read(stream.staging, StreamBufferBytes) != StreamBufferBytes)
            break;
        const ALuint buffer = stream.buffers[stream.next];
        alBufferData(buffer, AL_FORMAT_STEREO16, stream.staging, ALsizei(StreamBufferBytes), stream.format.rate);
        alSourceQueueBuffers(source, 1, &buffer);
        --stream.freeCount;
        stream.next = (stream.next + 1) % StreamBufferCount;
        ++stream.queued;
        if (!stream.playbackStarted) {
            alSourcePlay(source);
            stream.playbackStarted = true;
        }
    }
    input->UnlockBuffer();
}

void zALMixer::StreamStop(int32_t channel)
{
    if (!IsValidChannel(channel, "zALMixer::StreamStop"))
        return;
    StreamRecord& stream = streams[channel];
    if (stream.staging == nullptr)
        return;
    delete[] stream.staging;
    stream.staging = nullptr;
    if (context != nullptr && sources[channel] != 0) {
        alSourceStop(sources[channel]);
        // A stopped source lets go of its whole queue.
        alSourcei(sources[channel], AL_BUFFER, 0);
        alDeleteBuffers(StreamBufferCount, stream.names);
    }
    std::memset(stream.names, 0, sizeof(stream.names));
    std::memset(stream.buffers, 0, sizeof(stream.buffers));
    stream.freeCount = StreamBufferCount;
    stream.next = 0;
    stream.playbackStarted = false;
}

uint32_t zALMixer::GetSource(int32_t channel) const
{
    return channel >= 0 && channel < ChannelCount ? sources[channel] : 0;
}

uint64_t zALMixer::GetStreamBuffersQueued(int32_t channel) const
{
    return channel >= 0 && channel < ChannelCount ? streams[channel].queued : 0;
}

int32_t zALMixer::GetStreamFreeCount(int32_t channel) const
{
    return channel >= 0 && channel < ChannelCount ? streams[channel].freeCount : 0;
}

bool zALMixer::IsStreaming(int32_t channel) const
{
    return channel >= 0 && channel < ChannelCount && streams[channel].staging != nullptr;
}
