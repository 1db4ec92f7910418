#include "al/zALMixer.h"

#include "core/sound/zSound.h"
#include "framework/system/zLogStream.h"

#include <AL/al.h>

#include <new>

bool zALMixer::SetupSound(zSound* sound)
{
    if (audioOpen == 0 || sound == nullptr || sound->mixerData != nullptr)
        return false;
    auto* handle = new (std::nothrow) zALSoundHandle;
    if (handle == nullptr) {
        LogError("zALMixer::SetupSound") << "Failed to allocate sound handle.\n";
        return false;
    }
    FreeSound(sound);
    sound->mixerData = handle;
    alGetError();
    alGenBuffers(1, &handle->buffer);
    if (alGetError() != AL_NO_ERROR) {
        handle->buffer = 0;
        LogError("zALMixer::SetupSound") << "Failed to generate sound buffer.\n";
        return true;
    }
    const zSample& sample = sound->sample;
    const int32_t channels = sample.format.channels;
    const int32_t bits = sample.format.bits;
    ALenum format = 0;
    if (channels == 1 && bits == 8)
        format = AL_FORMAT_MONO8;
    else if (channels == 1 && bits == 16)
        format = AL_FORMAT_MONO16;
    else if (channels == 2 && bits == 8)
        format = AL_FORMAT_STEREO8;
    else if (channels == 2 && bits == 16)
        format = AL_FORMAT_STEREO16;
    if (format == 0) {
        LogError("zALMixer::SetupSound") << "Unsupported PCM format in sample '" << sound->id.Get() << "'.\n";
        return true;
    }
    // Never more than the sample holds.
    const int64_t bytes = sample.frameCount > 0 && sample.data != nullptr
                              ? int64_t(bits) * channels * sample.frameCount / 8
                              : 0;
    if (bytes > int64_t(sample.GetByteSize()) || bytes > INT32_MAX) {
        LogError("zALMixer::SetupSound") << "Failed to upload sample to OpenAL buffer ('" << sound->id.Get()
                                         << "').\n";
        return true;
    }
    alBufferData(handle->buffer, format, sample.data, ALsizei(bytes), sample.format.rate);
    if (alGetError() != AL_NO_ERROR)
        LogError("zALMixer::SetupSound") << "Failed to upload sample to OpenAL buffer ('" << sound->id.Get()
                                         << "').\n";
    return true;
}

void zALMixer::FreeSound(zSound* sound)
{
    if (sound == nullptr)
        return;
    // A source must not keep a buffer that is about to go.
    for (int32_t i = 0; i < ChannelCount; ++i) {
        if (channels[i].sound == sound) {
            if (audioOpen != 0) {
                alSourceStop(sources[i]);
                alSourcei(sources[i], AL_BUFFER, 0);
            }
            channels[i].sound = nullptr;
        }
    }
    if (sound->mixerData == nullptr)
        return;
    // After CloseAudio the buffer went with the device; the handle still goes.
    auto* handle = static_cast<zALSoundHandle*>(sound->mixerData);
    if (audioOpen != 0 && handle->buffer != 0)
        alDeleteBuffers(1, &handle->buffer);
    delete handle;
    sound->mixerData = nullptr;
}
