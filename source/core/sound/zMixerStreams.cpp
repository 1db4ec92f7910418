#include "core/sound/zMixer.h"

// Kept apart from the rest of the mixer: both need the decoder side of the
// stream interface, which defines SetupChannelStreamInterface.

int32_t zMixer::StartStream(const char* path)
{
    const int32_t channel = GetFreeChannel();
    if (channel < 0 || !SetupChannelStreamInterface(channel, path))
        return -1;
    return channel;
}

bool zMixer::StartChannelStream(int32_t channel, const char* path)
{
    if (!IsValidChannel(channel, "zMixer::StartChannelStream"))
        return false;
    return SetupChannelStreamInterface(channel, path);
}
