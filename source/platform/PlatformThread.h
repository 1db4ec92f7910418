#pragma once

#include <memory>

// A thread that is created suspended and runs its entry only once resumed.
// POSIX threads cannot start suspended, so the new thread waits at a start gate.
// The thread is joined exactly once: by Join, or by the destructor. The
// object itself is driven from one thread (the one that owns it).
class PlatformThread {
public:
    // Runs on the new thread; the argument is passed through, never owned.
    using Entry = void (*)(void* argument);

    PlatformThread();
    // Joins a resumed thread (its entry must be about to return); a thread that
    // was never resumed is released without running its entry.
    ~PlatformThread();
    PlatformThread(const PlatformThread&) = delete;
    PlatformThread& operator=(const PlatformThread&) = delete;

    // Starts the thread suspended at its gate; false when a thread was already
    // started or the system refused to create one.
    bool Start(Entry entry, void* argument);
    // Opens the gate; does nothing when not started or already resumed.
    void Resume();
    // Waits for a resumed thread to end and releases it. Returns false without
    // waiting when there is nothing to join or the thread was never resumed.
    bool Join();

    bool IsStarted() const;
    bool IsResumed() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};
