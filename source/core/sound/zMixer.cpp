#include "core/sound/zMixer.h"

#include "core/sound/zMixerStreamInterface.h"
#include "core/zad/Tavrin.h"
#include "framework/system/zLogStream.h"

zMixer::zMixer(Tavrin* owner, bool makeCurrent) : core(owner)
{
    if (makeCurrent && core != nullptr)
        core->mixer = this;
}

zMixer::~zMixer()
{
    // The channels own their interfaces; the back-end has stopped its device.
    for (zMixerChannel& channel : channels) {
        delete channel.streamInterface;
        channel.streamInterface = nullptr;
    }
    if (core != nullptr) {
        if (core->defaultMixer == this)
            core->mixer = nullptr;
        else if (core->mixer == this)
            core->mixer = core->defaultMixer;
    }
}

bool zMixer::IsValidChannel(int32_t channel, const char* method)
{
    if (channel >= 0 && channel < ChannelCount)
        return true;
    LogError(method) << "Channel index " << channel << " is out of range (0 to " << (ChannelCount - 1) << ").\n";
    return false;
}

void zMixer::SetChannelPitch(int32_t channel, float pitch)
{
    if (IsValidChannel(channel, "zMixer::SetChannelPitch"))
        channels[channel].pitch = pitch;
}

void zMixer::SetChannelGain(int32_t channel, float gain)
{
    if (IsValidChannel(channel, "zMixer::SetChannelGain"))
        channels[channel].gain = gain;
}

void zMixer::SetChannelPan(int32_t channel, float pan)
{
    if (IsValidChannel(channel, "zMixer::SetChannelPan"))
        channels[channel].pan = pan;
}

void zMixer::SetChannelLoop(int32_t channel, int32_t loop)
{
    if (IsValidChannel(channel, "zMixer::SetChannelLoop"))
        channels[channel].loop = loop;
}

void zMixer::SetChannelLoopPoint(int32_t channel, int32_t milliseconds)
{
    if (IsValidChannel(channel, "zMixer::SetChannelLoopPoint"))
        channels[channel].loopPoint = milliseconds;
}

int32_t zMixer::GetFreeChannel()
{
    for (int32_t i = 0; i < ChannelCount; ++i) {
        const zMixerChannel& channel = channels[i];
        if (channel.locked == 0 && channel.streamInterface == nullptr && GetChannelState(i) == ChannelIdle)
            return i;
    }
    LogError("zMixer::GetFreeChannel") << "All channels in use.\n";
    return -1;
}

int32_t zMixer::StartSound(zSound* sound)
{
    const int32_t channel = GetFreeChannel();
    if (channel < 0 || !StartChannel(channel, sound))
        return -1;
    return channel;
}

int32_t zMixer::LockFreeChannel()
{
    const int32_t channel = GetFreeChannel();
    if (channel >= 0)
        channels[channel].locked = 1;
    return channel;
}

bool zMixer::TryLockChannel(int32_t channel)
{
    if (!IsValidChannel(channel, "zMixer::TryLockChannel") || channels[channel].locked != 0)
        return false;
    channels[channel].locked = 1;
    return true;
}

void zMixer::UnlockChannel(int32_t channel)
{
    if (IsValidChannel(channel, "zMixer::UnlockChannel"))
        channels[channel].locked = 0;
}

void zMixer::UnlockAllChannels()
{
    for (zMixerChannel& channel : channels)
        channel.locked = 0;
}

zSound* zMixer::GetChannelSound(int32_t channel) const
{
    return IsValidChannel(channel, "zMixer::GetChannelSound") ? channels[channel].sound : nullptr;
}

void zMixer::ResetChannels()
{
    for (int32_t i = 0; i < ChannelCount; ++i) {
        StopChannel(i);
        SetChannelLoop(i, 0);
        SetChannelPitch(i, 1.0f);
        SetChannelGain(i, 1.0f);
        SetChannelPan(i, 0.5f);
    }
}

void zMixer::StopChannelStream(int32_t channel)
{
    if (!IsValidChannel(channel, "zMixer::StopChannelStream"))
        return;
    StreamStop(channel);
    delete channels[channel].streamInterface;
    channels[channel].streamInterface = nullptr;
}

void zMixer::StopAllChannels()
{
    for (int32_t i = 0; i < ChannelCount; ++i) {
        if (channels[i].streamInterface != nullptr) {
            StreamStop(i);
            delete channels[i].streamInterface;
            channels[i].streamInterface = nullptr;
        } else {
            StopChannel(i);
        }
    }
}

void zMixer::Mute()
{
    if (muted == 0)
        savedMasterGain = GetMasterGain();
    muted = 1;
    SetMasterGain(0.0f);
}

void zMixer::Unmute()
{
    muted = 0;
    SetMasterGain(savedMasterGain);
}

void zMixer::Update()
{
    for (int32_t i = 0; i < ChannelCount; ++i) {
        zMixerChannel& channel = channels[i];
        if (channel.streamInterface == nullptr)
            continue;
        StreamRefill(i);
        zMixerStreamInterface* stream = channel.streamInterface;
        if (stream == nullptr)
            continue;
        stream->LockStream();
        bool drained = false;
        if (stream->ended != 0) {
            if (GetChannelState(i) != ChannelPlaying) {
                *GlobalLogStream << "[|] Release stream interface.\n";
                StreamStop(i);
                drained = true;
            }
        } else if (stream->GetContentState() != 1) {
            if (channel.loop == 1)
                stream->SeekContent(channel.loopPoint);
            else
                stream->MarkEnded();
        }
        if (channel.streamInterface != stream)
            continue;
        stream->UnlockStream();
        // Only once unlocked: the interface's destructor waits for its decoder
        // thread, which takes the same lock. Without this the channel would
        // never be free again.
        if (drained) {
            delete stream;
            channel.streamInterface = nullptr;
        }
    }
}
