#pragma once

#include "framework/system/zMutex.h"

#include <cstdint>

class dAV_Stream;
class zMixer;

// The streaming source of a mixer channel, as the mixer sees it: the stream
// lock, the ended byte and the content stream's state. The decoder side (the
// content stream, its ring buffer and decoder thread) comes with the media
// streams, which answer the two content operations.
class zMixerStreamInterface {
public:
    zMixerStreamInterface(zMixer* owner, int32_t channelIndex) : mixer(owner), channel(channelIndex) {}
    // Must not be called by a thread that holds the stream lock.
    virtual ~zMixerStreamInterface() = default;
    zMixerStreamInterface(const zMixerStreamInterface&) = delete;
    zMixerStreamInterface& operator=(const zMixerStreamInterface&) = delete;

    // Locks the stream lock and gives the content stream.
    dAV_Stream* LockStream()
    {
        streamLock.Lock();
        return content;
    }
    void UnlockStream() { streamLock.Unlock(); }

    // The content stream's play state (1 playing); called under the stream lock.
    virtual int32_t GetContentState() = 0;
    // Seeks the content stream, in milliseconds; called under the stream lock.
    virtual bool SeekContent(int32_t milliseconds) = 0;

    zMixer* mixer;
    dAV_Stream* content = nullptr;
    int32_t channel;
    // Set once the stream has stopped and does not loop.
    uint8_t ended = 0;

protected:
    zMutex streamLock;
};
