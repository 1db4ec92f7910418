#pragma once

#include "dav/core/dAV_Driver.h"
#include "framework/data_structure/zMemoryRingBuffer.h"
#include "framework/system/zMutex.h"
#include "framework/system/zThread.h"

#include <atomic>
#include <cstdint>

class dAV_Stream;
class zMixer;

// Connects a media stream to one mixer channel: the stream's audio driver,
// collecting decoded PCM in a ring buffer that the mixer drains, with a decoder
// thread of its own that keeps the stream decoding ahead of playback.
// Lock order: stream lock, then buffer lock. The decoder thread calls Write
// and IsBufferFull with the stream lock held; the main thread reads the ring
// only between LockBuffer and UnlockBuffer, and touches the content stream
// only between LockStream and UnlockStream.
class zMixerStreamInterface : public dAV_AudioDriver {
public:
    static constexpr uint32_t BlockSize = 4096;
    static constexpr uint32_t BlockCount = 8;

    // The mixer stays its owner's and outlives the interface; the channel
    // (0 .. 63) owns the interface.
    zMixerStreamInterface(zMixer* owner, int32_t channelIndex);
    // Stops and joins the decoder thread. Must not be called by a thread that
    // holds the stream lock.
    ~zMixerStreamInterface() override;

    // Opens the content stream and starts the owner's device stream. False
    // when the file cannot be played (no content kept) or the mixer refuses
    // the stream (the content stays until the interface is deleted). Main thread.
    bool Create(const char* path);
    // Creates the decoder thread suspended, then resumes it; false when the
    // system gives no thread. Main thread.
    bool StartDecoder();

    bool Start() override { return true; }
    void Stop() override {}
    bool SetFormat(const dAV_AudioFormat&) override { return true; }
    // Returns the bytes the ring took; the stream keeps and re-offers the rest.
    uint32_t Write(const void* data, uint32_t byteCount, int32_t timeStamp) override;
    bool IsBufferFull() override;
    bool IsBufferNotFull() override { return !IsBufferFull(); }
    bool FillDone() override { return true; }

    // True when more than half of the blocks are filled (or there are none).
    static bool IsBufferFull(uint32_t blockCount, uint32_t freeBlocks);

    // Locks the stream lock and gives the content stream.
    dAV_Stream* LockStream()
    {
        streamLock.Lock();
        return content;
    }
    void UnlockStream() { streamLock.Unlock(); }
    // Takes the buffer lock (unless the caller holds it already) and gives
    // the ring; never null. Pair with UnlockBuffer.
    zMemoryRingBuffer* LockBuffer(bool alreadyLocked = false);
    void UnlockBuffer() { bufferLock.Unlock(); }

    // The content stream's play state (1 playing); called under the stream lock.
    virtual int32_t GetContentState();
    // Seeks the content stream, in milliseconds; called under the stream lock.
    virtual bool SeekContent(int32_t milliseconds);
    // Sets the ended byte and makes the last, partly written block readable
    // (padded with silence), or the end of every stream would never play.
    // Called under the stream lock.
    void MarkEnded();

    // Bytes the ring took in all.
    uint64_t GetBytesWritten() const { return bytesWritten.load(std::memory_order_relaxed); }

    zMixer* mixer;
    // Owned; null until Create succeeds.
    dAV_Stream* content = nullptr;
    int32_t channel;
    // Set once the stream has stopped and does not loop.
    uint8_t ended = 0;

protected:
    zMutex streamLock;

private:
    class DecoderThread : public zThread {
    public:
        explicit DecoderThread(zMixerStreamInterface* owner) : owner(owner) {}
        // Shared with the main thread, which clears it to stop the loop.
        std::atomic<bool> keepRunning{true};

    protected:
        bool Run() override { return owner->DecoderThreadProc(); }

    private:
        zMixerStreamInterface* owner;
    };

    bool DecoderThreadProc();

    zMemoryRingBuffer ring;
    zMutex bufferLock;
    // Bytes in the block being written, which the ring does not hand out yet.
    uint32_t partialBytes = 0;
    std::atomic<uint64_t> bytesWritten{0};
    DecoderThread decoderThread{this};
};
