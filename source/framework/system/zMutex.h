#pragma once

#include "platform/PlatformMutex.h"

// Recursive: the thread that holds the mutex may lock it again.
class zMutex {
public:
    void Lock() { mutex.Lock(); }
    void Unlock() { mutex.Unlock(); }

private:
    PlatformMutex mutex;
};

// Holds a zMutex for the life of a scope.
class zMutexLock {
public:
    explicit zMutexLock(zMutex& mutex) : mutex(mutex) { mutex.Lock(); }
    ~zMutexLock() { mutex.Unlock(); }
    zMutexLock(const zMutexLock&) = delete;
    zMutexLock& operator=(const zMutexLock&) = delete;

private:
    zMutex& mutex;
};
