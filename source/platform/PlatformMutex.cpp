#include "platform/PlatformMutex.h"

#include <pthread.h>

struct PlatformMutex::Impl {
    pthread_mutex_t mutex;
};

PlatformMutex::PlatformMutex() : impl(std::make_unique<Impl>())
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&impl->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

PlatformMutex::~PlatformMutex()
{
    pthread_mutex_destroy(&impl->mutex);
}

void PlatformMutex::Lock()
{
    pthread_mutex_lock(&impl->mutex);
}

void PlatformMutex::Unlock()
{
    pthread_mutex_unlock(&impl->mutex);
}
