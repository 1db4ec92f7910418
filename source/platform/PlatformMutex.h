#pragma once

#include <memory>

// A recursive mutex: the thread that holds it may lock it again.
class PlatformMutex {
public:
    PlatformMutex();
    ~PlatformMutex();
    PlatformMutex(const PlatformMutex&) = delete;
    PlatformMutex& operator=(const PlatformMutex&) = delete;

    // Blocks until the mutex is free or already held by this thread.
    void Lock();
    // Only by the holding thread, once per Lock.
    void Unlock();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};
