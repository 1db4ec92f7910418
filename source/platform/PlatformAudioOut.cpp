#include "platform/PlatformAudioOut.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

struct PlatformAudioOut::Impl {
    struct Queued {
        uint8_t* data;
        uint32_t bytes;
        uint32_t offset;
    };

    SDL_AudioDeviceID device = 0;
    BufferDone done = nullptr;
    void* user = nullptr;
    // Guards the queue and the byte count against the audio thread.
    std::mutex lock;
    std::deque<Queued> queue;
    uint64_t bytesPlayed = 0;
    // Reused by the audio thread so it does not allocate while playing.
    std::vector<void*> finished;

    static void Callback(void* self, Uint8* stream, int length)
    {
        static_cast<Impl*>(self)->Fill(stream, uint32_t(length));
    }

    void Fill(uint8_t* stream, uint32_t length)
    {
        finished.clear();
        uint32_t filled = 0;
        {
            std::lock_guard<std::mutex> guard(lock);
            while (filled < length && !queue.empty()) {
                Queued& front = queue.front();
                const uint32_t count = std::min(length - filled, front.bytes - front.offset);
                std::memcpy(stream + filled, front.data + front.offset, count);
                front.offset += count;
                filled += count;
                bytesPlayed += count;
                if (front.offset == front.bytes) {
                    finished.push_back(front.data);
                    queue.pop_front();
                }
            }
        }
        // An empty queue plays silence.
        if (filled < length)
            std::memset(stream + filled, 0, length - filled);
        for (void* buffer : finished)
            done(user, buffer);
    }
};

PlatformAudioOut::PlatformAudioOut() : impl(std::make_unique<Impl>())
{
    impl->finished.reserve(64);
}

PlatformAudioOut::~PlatformAudioOut()
{
    Close();
}

bool PlatformAudioOut::Open(int32_t rate, int32_t channels, BufferDone done, void* user)
{
    if (impl->device != 0 || done == nullptr || channels < 1 || channels > 8 || rate <= 0)
        return false;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    impl->done = done;
    impl->user = user;
    impl->bytesPlayed = 0;
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16LSB;
    want.channels = Uint8(channels);
    want.samples = 1024;
    want.callback = &Impl::Callback;
    want.userdata = impl.get();
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the card wants.
    impl->device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (impl->device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudioDevice(impl->device, 0);
    return true;
}

bool PlatformAudioOut::IsOpen() const
{
    return impl->device != 0;
}

bool PlatformAudioOut::Write(void* buffer, uint32_t bytes)
{
    if (impl->device == 0 || buffer == nullptr)
        return false;
    std::lock_guard<std::mutex> guard(impl->lock);
    impl->queue.push_back({static_cast<uint8_t*>(buffer), bytes, 0});
    if (bytes == 0) {
        // Nothing to play: it is done at once.
        impl->queue.pop_back();
        impl->done(impl->user, buffer);
    }
    return true;
}

void PlatformAudioOut::Reset()
{
    std::deque<Impl::Queued> returned;
    {
        std::lock_guard<std::mutex> guard(impl->lock);
        returned.swap(impl->queue);
    }
    for (const Impl::Queued& queued : returned)
        impl->done(impl->user, queued.data);
}

void PlatformAudioOut::Close()
{
    if (impl->device == 0)
        return;
    // Closing waits for the audio thread; nothing is handed back after it.
    SDL_CloseAudioDevice(impl->device);
    impl->device = 0;
    Reset();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

uint64_t PlatformAudioOut::GetBytesPlayed() const
{
    std::lock_guard<std::mutex> guard(impl->lock);
    return impl->bytesPlayed;
}
