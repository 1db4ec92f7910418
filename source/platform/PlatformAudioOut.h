#pragma once

#include <cstdint>
#include <memory>

// The sound card as a queue of whole PCM buffers, played in the order written
// (signed 16-bit, interleaved). A buffer that has been played is handed back
// through the done callback, on the audio thread; the callback must only hand
// the buffer on (no blocking, no calls back into this object).
class PlatformAudioOut {
public:
    using BufferDone = void (*)(void* user, void* buffer);

    PlatformAudioOut();
    // Closes the device if it is open.
    ~PlatformAudioOut();
    PlatformAudioOut(const PlatformAudioOut&) = delete;
    PlatformAudioOut& operator=(const PlatformAudioOut&) = delete;

    // Opens the default output device. False, with nothing open, when the
    // device or the format cannot be had.
    bool Open(int32_t rate, int32_t channels, BufferDone done, void* user);
    bool IsOpen() const;
    // Queues a buffer for playing. The memory is borrowed: it must stay valid
    // and untouched until the done callback hands it back. False when the
    // device is not open.
    bool Write(void* buffer, uint32_t bytes);
    // Hands back every buffer still queued, through the done callback, on the
    // calling thread.
    void Reset();
    // Stops the audio thread, closes the device and hands back every buffer
    // still queued, on the calling thread.
    void Close();

    // Bytes the device has taken from written buffers since it was opened.
    uint64_t GetBytesPlayed() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};
