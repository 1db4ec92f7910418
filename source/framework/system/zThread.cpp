#include "framework/system/zThread.h"

zThread::~zThread()
{
    // The platform thread joins (or releases) itself; Run must have returned.
    Wait();
}

void zThread::Entry(void* self)
{
    auto* owner = static_cast<zThread*>(self);
    owner->exitCode = owner->Run();
    owner->running.store(false, std::memory_order_release);
}

bool zThread::Create()
{
    if (thread.IsStarted())
        return false;
    running.store(thread.Start(&zThread::Entry, this), std::memory_order_release);
    return IsRunning();
}

void zThread::Resume()
{
    thread.Resume();
}

void zThread::Wait()
{
    thread.Join();
}
