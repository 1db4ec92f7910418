#include "platform/PlatformStop.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>

// Each case runs in a process of its own (the handlers are the process's),
// which ends the way the watchdog or the signal makes it end; what it wrote
// to standard error is matched in order.
namespace {

void Note(const char* text)
{
    ssize_t ignored = write(STDERR_FILENO, text, std::char_traits<char>::length(text));
    (void)ignored;
}

void NoteCallback(void*)
{
    Note("callback ran\n");
}

// A main thread that never finishes its frame.
[[noreturn]] void Hang()
{
    for (;;)
        pause();
}

class PlatformStop : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(PlatformStop, SecondSignalEndsTheProcessAtOnce)
{
    EXPECT_EXIT(
        {
            if (!PlatformInstallStopHandlers())
                std::_Exit(10);
            raise(SIGINT);
            if (!PlatformStopRequested() || PlatformStopOverdue())
                std::_Exit(11);
            Note("still running\n");
            raise(SIGTERM);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(3),
        "SIGINT: the run ends after this frame\\.\nstill running\n\\[!\\] SIGTERM again: ending the process now "
        "\\(exit code 3\\)\\.\n$");
}

// A frame still running a grace period after the signal has its scripts
// stopped (the callback); still running a period later, the process ends.
TEST_F(PlatformStop, FrameThatDoesNotEndIsEndedByTheWatchdog)
{
    EXPECT_EXIT(
        {
            if (!PlatformInstallStopHandlers())
                std::_Exit(10);
            PlatformSetStopCallback(NoteCallback, nullptr);
            raise(SIGTERM);
            Hang();
        },
        ::testing::ExitedWithCode(3),
        "SIGTERM: the run ends after this frame\\.\n"
        "\\[!\\] The frame or load in progress did not finish within 3 seconds of the stop signal: stopping its "
        "scripts\\.\n"
        "callback ran\n"
        "\\[!\\] The frame or load in progress did not finish after its scripts were stopped: ending the process "
        "now \\(exit code 3\\)\\.\n$");
}

// Stopping the scripts lets the frame end: the run then ends by itself,
// marked overdue (exit code 3 is the application's to return).
struct Unblock {
    std::mutex mutex;
    std::condition_variable changed;
    bool called = false;
};

void UnblockCallback(void* context)
{
    auto* unblock = static_cast<Unblock*>(context);
    std::lock_guard<std::mutex> lock(unblock->mutex);
    unblock->called = true;
    unblock->changed.notify_all();
}

TEST_F(PlatformStop, FrameEndedByStoppingItsScriptsIsOverdue)
{
    EXPECT_EXIT(
        {
            if (!PlatformInstallStopHandlers())
                std::_Exit(10);
            Unblock unblock;
            PlatformSetStopCallback(UnblockCallback, &unblock);
            raise(SIGTERM);
            {
                std::unique_lock<std::mutex> lock(unblock.mutex);
                unblock.changed.wait(lock, [&] { return unblock.called; });
            }
            PlatformSetStopCallback(nullptr, nullptr);
            PlatformStopLoopEnded();
            Note(PlatformStopOverdue() ? "overdue\n" : "in time\n");
            std::_Exit(4);
        },
        ::testing::ExitedWithCode(4),
        "SIGTERM: the run ends after this frame\\.\n"
        "\\[!\\] The frame or load in progress did not finish within 3 seconds of the stop signal: stopping its "
        "scripts\\.\n"
        "overdue\n$");
}

// After the loop has ended, the shutdown has a grace period of its own.
TEST_F(PlatformStop, ShutdownThatDoesNotEndIsEndedByTheWatchdog)
{
    EXPECT_EXIT(
        {
            if (!PlatformInstallStopHandlers())
                std::_Exit(10);
            PlatformSetStopCallback(NoteCallback, nullptr);
            raise(SIGTERM);
            PlatformStopLoopEnded();
            Hang();
        },
        ::testing::ExitedWithCode(3),
        "SIGTERM: the run ends after this frame\\.\n"
        "\\[!\\] The shutdown did not finish within 3 seconds: ending the process now \\(exit code 3\\)\\.\n$");
}

} // namespace
