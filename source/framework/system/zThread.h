#pragma once

#include "platform/PlatformThread.h"

#include <atomic>

// A worker thread: Create starts it suspended, Resume lets Run execute, Wait
// joins it. The owner makes Run return before waiting or destroying it.
class zThread {
public:
    zThread() = default;
    // Joins a thread that still runs and releases one that was never resumed:
    // the thread is always joined exactly once.
    virtual ~zThread();
    zThread(const zThread&) = delete;
    zThread& operator=(const zThread&) = delete;

    // Returns the running flag: true when the thread was created.
    bool Create();
    void Resume();
    // Joins the thread once Run has returned; returns at once when the thread
    // was never created or never resumed.
    void Wait();

    bool IsRunning() const { return running.load(std::memory_order_acquire); }
    // Run's result once the thread has been joined.
    bool GetExitCode() const { return exitCode; }

protected:
    // The work, on the new thread.
    virtual bool Run() = 0;

private:
    static void Entry(void* self);

    PlatformThread thread;
    std::atomic<bool> running{false};
    bool exitCode = false;
};
