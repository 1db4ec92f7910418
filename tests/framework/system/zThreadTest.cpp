#include "framework/system/zMutex.h"
#include "framework/system/zThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

class CountingThread : public zThread {
public:
    ~CountingThread() override { Wait(); }

    std::atomic<int> runs{0};
    std::atomic<bool> started{false};
    bool result = true;

    // Run blocks until released, so tests can look at a thread that has not finished.
    void Release()
    {
        {
            std::lock_guard lock(gateMutex);
            released = true;
        }
        gate.notify_all();
    }

protected:
    bool Run() override
    {
        started = true;
        std::unique_lock lock(gateMutex);
        gate.wait(lock, [this] { return released; });
        ++runs;
        return result;
    }

private:
    std::mutex gateMutex;
    std::condition_variable gate;
    bool released = false;
};

} // namespace

TEST(zThread, RunsOnlyAfterResumeAndJoinsOnWait)
{
    CountingThread thread;
    ASSERT_TRUE(thread.Create());
    EXPECT_TRUE(thread.IsRunning());
    EXPECT_FALSE(thread.Create());
    EXPECT_FALSE(thread.started.load());

    thread.Resume();
    thread.Release();
    thread.Wait();
    EXPECT_EQ(thread.runs.load(), 1);
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_TRUE(thread.GetExitCode());

    thread.Wait(); // joined once; waiting again returns at once
}

TEST(zThread, ExitCodeFollowsRun)
{
    CountingThread thread;
    thread.result = false;
    thread.Release();
    ASSERT_TRUE(thread.Create());
    thread.Resume();
    thread.Wait();
    EXPECT_FALSE(thread.GetExitCode());
}

TEST(zThread, NeverResumedThreadIsReleasedWithoutRunning)
{
    auto* thread = new CountingThread;
    ASSERT_TRUE(thread->Create());
    thread->Wait(); // a suspended thread cannot end: no wait
    EXPECT_TRUE(thread->IsRunning());
    EXPECT_EQ(thread->runs.load(), 0);
    delete thread; // must not hang or run Run
}

TEST(zThread, WaitWithoutCreateReturns)
{
    CountingThread thread;
    thread.Wait();
    thread.Resume();
    EXPECT_FALSE(thread.IsRunning());
}

TEST(zMutex, IsRecursiveAndExcludesOtherThreads)
{
    zMutex mutex;
    int shared = 0;

    class Adder : public zThread {
    public:
        Adder(zMutex& m, int& value) : mutex(m), value(value) {}
        ~Adder() override { Wait(); }

    protected:
        bool Run() override
        {
            for (int i = 0; i < 10000; ++i) {
                zMutexLock outer(mutex);
                zMutexLock inner(mutex); // the same thread locks again
                ++value;
            }
            return true;
        }

    private:
        zMutex& mutex;
        int& value;
    };

    Adder a(mutex, shared);
    Adder b(mutex, shared);
    ASSERT_TRUE(a.Create());
    ASSERT_TRUE(b.Create());
    a.Resume();
    b.Resume();
    a.Wait();
    b.Wait();
    EXPECT_EQ(shared, 20000);
}
