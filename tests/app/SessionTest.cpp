#include "app/session/DeviceSession.h"
#include "framework/Trace.h"

#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvex {
namespace {

struct QuietStatus : StatusSink {
    void ShowProgress(unsigned, unsigned) override {}
    void ShowMessage(unsigned) override {}
    void ShowText(const std::string&) override {}
    void ShowError(const std::string&) override {}
};
struct NoView : LiveViewHost {
    void Invalidate(bool) override {}
    void SetContentSize(int, int) override {}
};
struct NoTuning : TuningSelection {
    void SetTrace(const TuningTrace&) override {}
};

class DeviceSessionTest : public ::testing::Test {
protected:
    QuietStatus status;
    NoView view;
    NoTuning tuning;
    DeviceSessionSinks Sinks() { return {status, view, tuning}; }
};

// Shutdown stops the session thread first, then the live stream, then
// discovery, each one finished before the next is asked to stop.
TEST_F(DeviceSessionTest, StopAllEndsTheThreadsInShutdownOrder) {
    std::mutex lock;
    std::vector<std::string> lines;
    TraceSink previous = SetTraceSink([&](const std::string& line) {
        std::lock_guard<std::mutex> guard(lock);
        lines.push_back(line);
    });
    size_t stopLines = 0;
    {
        DeviceSession session(Sinks());
        session.Start();
        session.StopAll();
        session.StopAll(); // a second call finds nothing to do
        std::lock_guard<std::mutex> guard(lock);
        for (const std::string& line : lines)
            stopLines += line.rfind("Thread::Stop: Stopping", 0) == 0;
    }
    SetTraceSink(previous);
    auto at = [&](const std::string& name, const char* what) {
        std::string text = std::string("Thread::Stop: ") + what + " thread " + name + "\n";
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == text)
                return static_cast<long>(i);
        return -1L;
    };
    ASSERT_GE(at("Connection", "Stopped"), 0);
    EXPECT_LT(at("Connection", "Stopped"), at("Live", "Stopping"));
    EXPECT_LT(at("Live", "Stopped"), at("Scan", "Stopping"));
    EXPECT_GE(at("Scan", "Stopped"), 0);
    EXPECT_EQ(stopLines, 3u);
}

TEST_F(DeviceSessionTest, ChosenRowBecomesTheTargetAndJobsWaitForAConnection) {
    DeviceSession session(Sinks());
    session.Devices().DeviceSeen(0x1400A8C0u, "Gate 3"); // 192.168.0.20
    EXPECT_EQ(session.ChooseDevice(1), 0x1400A8C0u);
    EXPECT_EQ(session.TargetAddress(), 0x1400A8C0u);
    EXPECT_EQ(session.ChooseDevice(-1), 0u);
    EXPECT_EQ(session.TargetAddress(), 0u);

    // Not connected: a job that needs the connection is not posted.
    EXPECT_FALSE(session.Post(RestartRequest{}, true));
    EXPECT_EQ(session.Session().PendingJob(), JobNone);
    // One job at a time: a second one is refused while the first waits.
    EXPECT_TRUE(session.Post(DisconnectRequest{}, false));
    EXPECT_FALSE(session.Post(UploadProgramRequest{{1, 2, 3}}, false));
    EXPECT_FALSE(session.Post(RestartRequest{}, false));
    EXPECT_EQ(session.Session().PendingJob(), JobDisconnect);
}

// A demo device that only records what the session asks of it.
struct FakeDemo : DemoControl {
    struct Log {
        int starts = 0;
        int stops = 0;
        Settings settings;
        bool running = false;
    };
    explicit FakeDemo(Log& log) : log(log) {}
    void Start(const Settings& s) override {
        ++log.starts;
        log.settings = s;
        log.running = true;
    }
    void Stop() override {
        log.stops += log.running;
        log.running = false;
    }
    bool Running() const override { return log.running; }
    uint16_t LivePort() const override { return log.running ? 25107 : 0; }
    uint16_t SshPort() const override { return log.running ? 2229 : 0; }
    void KnockCamera(unsigned) override {}
    void Straighten() override {}
    Log& log;
};

// The demo device the program hands over becomes the target with its own
// ports while it runs, and gives them up when it stops; without one the
// session refuses to start a demo and offers no demo ports.
TEST_F(DeviceSessionTest, DemoDeviceIsTheTargetWithItsOwnPortsOnlyWhileItRuns) {
    FakeDemo::Log log;
    DeviceSession session(Sinks(), std::make_unique<FakeDemo>(log));
    ASSERT_TRUE(session.HasDemo());
    EXPECT_EQ(session.TargetPort(), 0);

    session.StartDemo(false);
    session.StartDemo(false); // running: only made the target again
    EXPECT_EQ(log.starts, 1);
    EXPECT_EQ(log.settings.preferredLivePort, 0);
    EXPECT_EQ(log.settings.preferredSshPort, 0);
    EXPECT_EQ(session.TargetAddress(), DemoControl::Address());
    EXPECT_EQ(session.TargetPort(), 25107);
    EXPECT_EQ(session.SshPortFor(DemoControl::Address()), 2229);
    EXPECT_EQ(session.SshPortFor(0x1400A8C0u), 0);

    // Another device chosen: the usual ports for it.
    session.Devices().DeviceSeen(0x1400A8C0u, "Gate 3");
    EXPECT_EQ(session.ChooseDevice(1), 0x1400A8C0u);
    EXPECT_EQ(session.TargetPort(), 0);
    session.StartDemo();

    session.StopDemo();
    EXPECT_EQ(log.stops, 1);
    EXPECT_EQ(session.TargetAddress(), 0u);
    EXPECT_EQ(session.TargetPort(), 0);
    EXPECT_EQ(session.SshPortFor(DemoControl::Address()), 0);

    DeviceSession bare(Sinks());
    EXPECT_FALSE(bare.HasDemo());
    EXPECT_FALSE(bare.DemoRunning());
    EXPECT_THROW(bare.StartDemo(), std::runtime_error);
    EXPECT_EQ(bare.TargetAddress(), 0u);
    EXPECT_EQ(bare.SshPortFor(DemoControl::Address()), 0);
}

} // namespace
} // namespace korvex
