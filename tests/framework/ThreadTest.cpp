#include "framework/Thread.h"

#include "framework/Trace.h"
#include "support/WaitUntil.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace korvex;

namespace {

// Collects trace lines for the duration of a test.
class TraceCapture {
public:
    TraceCapture() {
        previous = SetTraceSink([this](const std::string& line) {
            std::lock_guard g(lock);
            lines.push_back(line);
        });
    }
    ~TraceCapture() { SetTraceSink(previous); }
    std::vector<std::string> Lines() {
        std::lock_guard g(lock);
        return lines;
    }

private:
    std::mutex lock;
    std::vector<std::string> lines;
    TraceSink previous;
};

class CountingThread : public Thread {
public:
    CountingThread() : Thread("Counter") {}
    std::atomic<int> rounds{0};

protected:
    void Run() override {
        while (!SleepOrStop(5))
            ++rounds;
    }
};

class QuickThread : public Thread {
public:
    QuickThread() : Thread("Quick") {}

protected:
    void Run() override {}
};

// A body blocked in a call its stop event cannot wake; OnStopRequested must
// break it off.
class BlockedThread : public Thread {
public:
    BlockedThread() : Thread("Blocked") {}
    StopEvent unblock;

protected:
    void Run() override { unblock.Wait(); }
    void OnStopRequested() override { unblock.Set(); }
};

} // namespace

TEST(Thread, StartAndStopWriteTheTraceLinesInOrder) {
    TraceCapture capture;
    CountingThread t;
    t.Start();
    ASSERT_TRUE(korvex::test::WaitUntil([&] { return t.rounds.load() >= 2; }, std::chrono::seconds(10)));
    t.Stop();
    std::vector<std::string> expected = {
        "Thread::ThreadProc: Starting thread Counter\n",
        "Thread::Stop: Stopping thread Counter\n",
        "Thread::ThreadProc: Ending thread Counter\n",
        "Thread::Stop: Stopped thread Counter\n",
    };
    EXPECT_EQ(capture.Lines(), expected);
}

TEST(Thread, StopAfterTheBodyReturnedStillTracesBothLines) {
    TraceCapture capture;
    QuickThread t;
    t.Start();
    // Wait until the body has ended by itself.
    korvex::test::WaitUntil([&] { return capture.Lines().size() == 2; }, std::chrono::seconds(10));
    t.Stop();
    auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "Thread::Stop: Stopping thread Quick\n");
    EXPECT_EQ(lines[3], "Thread::Stop: Stopped thread Quick\n");
}

TEST(Thread, ABodyEndedByAnExceptionEndsOnlyItsThread) {
    class FailingThread : public Thread {
    public:
        FailingThread() : Thread("Failing") {}

    protected:
        void Run() override { throw std::runtime_error("socket gone"); }
    };
    TraceCapture capture;
    FailingThread t;
    t.Start(); // an escaping exception would terminate the test program
    t.Stop();
    const std::vector<std::string> expected = {
        "Thread::ThreadProc: Starting thread Failing\n",
        "Thread::ThreadProc: Failing ended by an error: socket gone\n",
        "Thread::ThreadProc: Ending thread Failing\n",
    };
    auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 5u);
    // Stop's first line may come before or after the body's lines.
    std::vector<std::string> body;
    for (const auto& l : lines)
        if (l.rfind("Thread::ThreadProc:", 0) == 0)
            body.push_back(l);
    EXPECT_EQ(body, expected);
    EXPECT_EQ(lines.back(), "Thread::Stop: Stopped thread Failing\n");
}

TEST(Thread, StopWakesABodyBlockedOutsideTheStopEvent) {
    BlockedThread t;
    t.Start();
    t.Stop(); // would hang without OnStopRequested
    EXPECT_TRUE(t.unblock.IsSet());
}

TEST(StopEvent, IsManualResetAndSeenByEveryWait) {
    StopEvent e;
    EXPECT_FALSE(e.WaitFor(1));
    e.Set();
    EXPECT_TRUE(e.WaitFor(0));
    EXPECT_TRUE(e.WaitFor(0)); // stays set
    std::atomic<int> woken{0};
    std::thread a([&] {
        e.Wait();
        ++woken;
    });
    std::thread b([&] {
        e.Wait();
        ++woken;
    });
    a.join();
    b.join();
    EXPECT_EQ(woken.load(), 2);
    e.Reset();
    EXPECT_FALSE(e.IsSet());
}

TEST(Trace, LinesAreCutToTheHundredCharacterBuffer) {
    TraceCapture capture;
    Trace("%s: %s\n", "Test::Long", std::string(200, 'x').c_str());
    Trace("%s: %ums\n", "Document::NewRenderState", 12u);
    auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 99u);
    EXPECT_EQ(lines[0].substr(0, 12), "Test::Long: ");
    EXPECT_EQ(lines[1], "Document::NewRenderState: 12ms\n");
}
