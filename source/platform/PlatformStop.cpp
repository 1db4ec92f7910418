#include "platform/PlatformStop.h"

#include <SDL.h>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

// Touched by the signal handler: lock-free atomics and descriptors only.
std::atomic<int> SignalCount{0};
std::atomic<bool> Overdue{false};
int WakeRead = -1;
int WakeWrite = -1;
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

std::mutex CallbackMutex;
void (*Callback)(void*) = nullptr;
void* CallbackContext = nullptr;

std::once_flag InstallOnce;
bool Installed = false;

// What the watchdog reads from its pipe.
constexpr char WakeSignal = 's';
constexpr char WakeLoopEnded = 'l';

// Async-signal-safe: write(2) only, the length counted by hand.
void WriteError(const char* text)
{
    size_t length = 0;
    while (text[length] != '\0')
        ++length;
    while (length > 0) {
        const ssize_t written = write(STDERR_FILENO, text, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        text += written;
        length -= size_t(written);
    }
}

void Wake(char what)
{
    // Never blocks (the pipe is non-blocking); a full pipe already wakes the watchdog.
    ssize_t written;
    do {
        written = write(WakeWrite, &what, 1);
    } while (written < 0 && errno == EINTR);
}

void OnStopSignal(int signal)
{
    const int savedErrno = errno;
    const char* name = signal == SIGINT ? "[!] SIGINT" : "[!] SIGTERM";
    if (SignalCount.fetch_add(1) == 0) {
        WriteError(name);
        WriteError(": the run ends after this frame.\n");
        Wake(WakeSignal);
    } else {
        WriteError(name);
        WriteError(" again: ending the process now (exit code 3).\n");
        _exit(3);
    }
    errno = savedErrno;
}

// The next byte from the pipe, or 0 once the deadline has passed.
char WaitUntil(std::chrono::steady_clock::time_point deadline, bool forever)
{
    for (;;) {
        int timeout = -1;
        if (!forever) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return 0;
            timeout = int(left.count());
        }
        pollfd wait{WakeRead, POLLIN, 0};
        const int ready = poll(&wait, 1, timeout);
        if (ready > 0) {
            char what = 0;
            if (read(WakeRead, &what, 1) == 1 && what != 0)
                return what;
        }
    }
}

void Watchdog()
{
    // The handler runs on the other threads.
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);

    using Clock = std::chrono::steady_clock;
    const auto grace = std::chrono::seconds(PlatformStopGraceSeconds);
    bool loopEnded = false;
    for (;;) {
        const char what = WaitUntil(Clock::time_point(), true);
        if (what == WakeSignal)
            break;
        if (what == WakeLoopEnded)
            loopEnded = true;
    }
    enum class Phase { Frame, ScriptsStopped, Shutdown };
    Phase phase = loopEnded ? Phase::Shutdown : Phase::Frame;
    Clock::time_point deadline = Clock::now() + grace;
    for (;;) {
        const char what = WaitUntil(deadline, false);
        if (what == WakeLoopEnded && phase != Phase::Shutdown) {
            phase = Phase::Shutdown;
            deadline = Clock::now() + grace;
        }
        if (what != 0)
            continue;
        if (phase == Phase::Frame) {
            WriteError("[!] The frame or load in progress did not finish within 3 seconds of the stop signal: "
                       "stopping its scripts.\n");
            Overdue.store(true);
            {
                std::lock_guard<std::mutex> lock(CallbackMutex);
                if (Callback != nullptr)
                    Callback(CallbackContext);
            }
            phase = Phase::ScriptsStopped;
            deadline = Clock::now() + grace;
            continue;
        }
        WriteError(phase == Phase::ScriptsStopped
                       ? "[!] The frame or load in progress did not finish after its scripts were stopped: ending "
                         "the process now (exit code 3).\n"
                       : "[!] The shutdown did not finish within 3 seconds: ending the process now (exit code 3).\n");
        _exit(3);
    }
}
static_assert(PlatformStopGraceSeconds == 3, "the watchdog's lines name the grace period");

bool Install()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return false;
    if (fcntl(ends[1], F_SETFL, O_NONBLOCK) != 0) {
        close(ends[0]);
        close(ends[1]);
        return false;
    }
    WakeRead = ends[0];
    WakeWrite = ends[1];
    try {
        std::thread(Watchdog).detach();
    } catch (...) {
        close(ends[0]);
        close(ends[1]);
        WakeRead = WakeWrite = -1;
        return false;
    }
    // SDL would otherwise turn the signals into a quit event of its own queue, read
    // only between frames.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return true;
}

} // namespace

bool PlatformInstallStopHandlers()
{
    std::call_once(InstallOnce, [] { Installed = Install(); });
    return Installed;
}

bool PlatformStopRequested()
{
    return SignalCount.load() > 0;
}

bool PlatformStopOverdue()
{
    return Overdue.load();
}

void PlatformSetStopCallback(void (*callback)(void* context), void* context)
{
    std::lock_guard<std::mutex> lock(CallbackMutex);
    Callback = callback;
    CallbackContext = context;
}

void PlatformStopLoopEnded()
{
    if (WakeWrite >= 0)
        Wake(WakeLoopEnded);
}
