#include "export/ExportThread.h"

#include "export/AviTestData.h"
#include "export/RecordingSink.h"
#include "framework/Trace.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

class ExportThreadTest : public ::testing::Test {
protected:
    void SetUp() override { InstallNumberedTexts(); }

    void AddInput(const std::string& name, const Bytes& bytes) {
        WriteFile(folder / name, bytes);
        job.folder = folder.Path();
        job.files.push_back(name);
    }

    TempDir folder{"korvex-export"};
    ExportJob job;
    RecordingSink sink{folder / "joined.avi"};
};

TEST_F(ExportThreadTest, RunsARequestedJobThenResetsTheDialog) {
    AddInput("a.avi", MakeRecording(MakeFrames(4, 32, 32)));
    ExportThread thread(job, sink);
    EXPECT_EQ(thread.Name(), "Export");
    thread.Start();
    ASSERT_TRUE(thread.RequestJob(ExportThread::Reencode));
    EXPECT_FALSE(thread.RequestJob(ExportThread::Copy)); // one job at a time
    ASSERT_TRUE(sink.WaitUntil([&] { return sink.jobsEnded == 1; }));
    EXPECT_EQ(thread.PendingRequest(), ExportThread::Idle);
    thread.Stop();

    EXPECT_TRUE(sink.errors.empty());
    EXPECT_EQ(sink.statuses, (std::vector<std::string>{"E207", "E208"}));
    EXPECT_EQ(sink.progress, (std::vector<unsigned>{0, 0}));
    EXPECT_TRUE(FileExists(folder / "joined.avi"));
}

TEST_F(ExportThreadTest, JobWithoutFilesOnlyResetsTheDialog) {
    ExportThread thread(job, sink);
    thread.Start();
    ASSERT_TRUE(thread.RequestJob(ExportThread::Copy));
    ASSERT_TRUE(sink.WaitUntil([&] { return sink.jobsEnded == 1; }));
    thread.Stop();
    EXPECT_EQ(sink.questions, 0);
    EXPECT_EQ(sink.statuses, std::vector<std::string>{"E208"});
    // The worker is ready for the next request.
    EXPECT_EQ(thread.PendingRequest(), ExportThread::Idle);
}

TEST_F(ExportThreadTest, ErrorIsShownAndTheNextJobStillRuns) {
    AddInput("bad.avi", Bytes{'n', 'o', 'p', 'e', 0, 0, 0, 0});
    ExportThread thread(job, sink);
    thread.Start();
    ASSERT_TRUE(thread.RequestJob(ExportThread::Copy));
    ASSERT_TRUE(sink.WaitUntil([&] { return sink.jobsEnded == 1; }));
    {
        std::lock_guard<std::mutex> g(sink.lock);
        ASSERT_EQ(sink.errors.size(), 1u);
        EXPECT_EQ(sink.errors[0], "cannot read '" + folder / "bad.avi" + "'.\nE253");
        EXPECT_EQ(sink.statuses.back(), "E208");
    }
    job.files = {"good.avi"};
    WriteFile(folder / "good.avi", MakeRecording(MakeFrames(2, 16, 16)));
    ASSERT_TRUE(thread.RequestJob(ExportThread::Copy));
    ASSERT_TRUE(sink.WaitUntil([&] { return sink.jobsEnded == 2; }));
    thread.Stop();
    EXPECT_EQ(sink.errors.size(), 1u);
    EXPECT_TRUE(FileExists(folder / "joined.avi"));
}

TEST_F(ExportThreadTest, StoppingDuringAJobAbandonsItsOutput) {
    // Enough work that the job is still running when the stop comes.
    Bytes recording = MakeRecording(MakeFrames(60, 320, 240));
    for (int i = 0; i < 20; ++i)
        AddInput(std::to_string(i) + ".avi", recording);
    ExportThread thread(job, sink);
    thread.SetReencodeThreads(1);
    std::vector<std::string> traces;
    std::mutex traceLock;
    SetTraceSink([&](const std::string& line) {
        std::lock_guard<std::mutex> g(traceLock);
        traces.push_back(line);
    });
    thread.Start();
    ASSERT_TRUE(thread.RequestJob(ExportThread::Reencode));
    ASSERT_TRUE(sink.WaitUntil([&] { return !sink.filesShown.empty(); }));
    thread.Stop();
    SetTraceSink({});
    EXPECT_FALSE(FileExists(folder / "joined.avi"));
    EXPECT_LT(sink.filesShown.size(), 20u);
    EXPECT_EQ(folder.Entries().size(), 20u); // no temporary file either
    std::lock_guard<std::mutex> g(traceLock);
    EXPECT_NE(std::find(traces.begin(), traces.end(), "Thread::ThreadProc: Ending thread Export\n"),
              traces.end());
}

} // namespace
} // namespace korvex::test
