#include "core/sound/zMixerStreamInterface.h"

#include "core/sound/zMixer.h"
#include "dav/core/dAV_Stream.h"
#include "framework/system/zClock.h"
#include "framework/system/zLogStream.h"

#include <new>

zMixerStreamInterface::zMixerStreamInterface(zMixer* owner, int32_t channelIndex) : mixer(owner), channel(channelIndex)
{
    ring.Allocate(BlockSize, BlockCount);
}

zMixerStreamInterface::~zMixerStreamInterface()
{
    decoderThread.keepRunning.store(false, std::memory_order_release);
    decoderThread.Wait();
    *GlobalLogStream << "Stream interface decoder thread joined.\n";
    if (content != nullptr) {
        content->Close();
        delete content;
        content = nullptr;
    }
    ring.Free();
}

bool zMixerStreamInterface::Create(const char* path)
{
    if (ring.GetBlockCount() == 0)
        return false;
    content = new (std::nothrow) dAV_Stream(nullptr, this);
    if (content == nullptr) {
        LogError("zMixerStreamInterface::Create") << "Failed to allocate stream.\n";
        return false;
    }
    if (!content->Open(path)) {
        content->Close();
        delete content;
        content = nullptr;
        return false;
    }
    return mixer->StreamStart(channel, content->GetAudioFormat());
}

bool zMixerStreamInterface::StartDecoder()
{
    if (!decoderThread.Create())
        return false;
    decoderThread.Resume();
    return true;
}

bool zMixerStreamInterface::DecoderThreadProc()
{
    while (decoderThread.keepRunning.load(std::memory_order_acquire)) {
        streamLock.Lock();
        if (content != nullptr)
            content->Update(1);
        streamLock.Unlock();
        SleepMilliseconds(1);
    }
    return true;
}

uint32_t zMixerStreamInterface::Write(const void* data, uint32_t byteCount, int32_t)
{
    zMutexLock lock(bufferLock);
    const uint32_t taken = byteCount - ring.Write(data, byteCount);
    if (BlockSize != 0)
        partialBytes = uint32_t((uint64_t(partialBytes) + taken) % BlockSize);
    bytesWritten.fetch_add(taken, std::memory_order_relaxed);
    return taken;
}

bool zMixerStreamInterface::IsBufferFull(uint32_t blockCount, uint32_t freeBlocks)
{
    if (blockCount == 0)
        return true;
    const uint32_t freePercent = ((freeBlocks * 6553600u) / blockCount) >> 16;
    return 100u - freePercent > 50u;
}

bool zMixerStreamInterface::IsBufferFull()
{
    zMutexLock lock(bufferLock);
    return IsBufferFull(ring.GetBlockCount(), ring.GetFreeBlockCount());
}

zMemoryRingBuffer* zMixerStreamInterface::LockBuffer(bool alreadyLocked)
{
    if (!alreadyLocked)
        bufferLock.Lock();
    return &ring;
}

int32_t zMixerStreamInterface::GetContentState()
{
    return content != nullptr ? content->GetState() : dAV_Stream::Closed;
}

bool zMixerStreamInterface::SeekContent(int32_t milliseconds)
{
    return content != nullptr && content->Seek(milliseconds);
}

void zMixerStreamInterface::MarkEnded()
{
    static const uint8_t silence[BlockSize] = {};
    ended = 1;
    zMutexLock lock(bufferLock);
    if (partialBytes == 0)
        return;
    // A partly written block always has its own room left in the ring.
    const uint32_t padding = BlockSize - partialBytes;
    ring.Write(silence, padding);
    partialBytes = 0;
}

bool zMixer::SetupChannelStreamInterface(int32_t channel, const char* path)
{
    if (!IsValidChannel(channel, "zMixer::SetupChannelStreamInterface"))
        return false;
    StreamStop(channel);
    // A previous interface goes first, with its decoder thread and open file.
    delete channels[channel].streamInterface;
    channels[channel].streamInterface = nullptr;

    auto* stream = new (std::nothrow) zMixerStreamInterface(this, channel);
    if (stream == nullptr) {
        LogError("zMixer::SetupChannelStreamInterface") << "Failed to allocate chanel stream interface.\n";
        return false;
    }
    channels[channel].streamInterface = stream;
    if (!stream->Create(path)) {
        delete stream;
        channels[channel].streamInterface = nullptr;
        LogError("zMixer::SetupChannelStreamInterface") << "Failed to open content stream.\n";
        return false;
    }
    if (!stream->StartDecoder()) {
        StreamStop(channel);
        delete stream;
        channels[channel].streamInterface = nullptr;
        LogError("zMixer::SetupChannelStreamInterface") << "Failed to start stream decoder thread.\n";
        return false;
    }
    return true;
}
