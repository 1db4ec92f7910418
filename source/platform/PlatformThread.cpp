#include "platform/PlatformThread.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

enum class Gate { Closed, Open, Cancelled };

struct GateState {
    std::mutex mutex;
    std::condition_variable changed;
    Gate gate = Gate::Closed;
};

void ThreadMain(std::shared_ptr<GateState> state, PlatformThread::Entry entry, void* argument)
{
    {
        std::unique_lock lock(state->mutex);
        state->changed.wait(lock, [&] { return state->gate != Gate::Closed; });
        if (state->gate == Gate::Cancelled)
            return;
    }
    entry(argument);
}

} // namespace

struct PlatformThread::Impl {
    std::shared_ptr<GateState> state;
    std::thread thread;
    bool resumed = false;

    void SetGate(Gate gate)
    {
        {
            std::lock_guard lock(state->mutex);
            state->gate = gate;
        }
        state->changed.notify_all();
    }
};

PlatformThread::PlatformThread() : impl(std::make_unique<Impl>()) {}

PlatformThread::~PlatformThread()
{
    if (!impl->thread.joinable())
        return;
    if (!impl->resumed)
        impl->SetGate(Gate::Cancelled);
    impl->thread.join();
}

bool PlatformThread::Start(Entry entry, void* argument)
{
    if (impl->thread.joinable() || entry == nullptr)
        return false;
    impl->state = std::make_shared<GateState>();
    impl->resumed = false;
    try {
        impl->thread = std::thread(ThreadMain, impl->state, entry, argument);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void PlatformThread::Resume()
{
    if (!impl->thread.joinable() || impl->resumed)
        return;
    impl->resumed = true;
    impl->SetGate(Gate::Open);
}

bool PlatformThread::Join()
{
    if (!impl->thread.joinable() || !impl->resumed)
        return false;
    impl->thread.join();
    return true;
}

bool PlatformThread::IsStarted() const
{
    return impl->thread.joinable();
}

bool PlatformThread::IsResumed() const
{
    return impl->thread.joinable() && impl->resumed;
}
