// Copies of unsaved changes: written while editing, removed by saving and
// closing, offered at the next start after a crash (recover, discard, later).
#include "AppTestSupport.h"
#include "app/common/Commands.h"
#include "app/common/UiText.h"
#include "app/session/ProjectRecovery.h"
#include "files/ProjectFile.h"
#include "framework/AtomicFile.h"
#include "framework/BinaryFile.h"
#include "framework/TextIds.h"
#include "model/DetectorTools.h"

#include <QDir>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace korvex::test {
namespace {

namespace fs = std::filesystem;

const std::array<Point, 4> kSquare{{{100, 100}, {140, 100}, {140, 140}, {100, 140}}};

class RecoveryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
    void SetUp() override { fs::remove_all(ProjectRecovery::Folder().toStdString()); }
    void TearDown() override {
        frames.clear();
        fs::remove_all(ProjectRecovery::Folder().toStdString());
    }

    MainFrame& NewFrame(FakePrompter& prompts) {
        FrameOptions options;
        options.prompter = &prompts;
        options.startWorkers = false;
        frames.push_back(std::make_unique<MainFrame>(options));
        frames.back()->Create();
        RunIdle();
        return *frames.back();
    }
    // One edit: a new state with one more square detector.
    static void AddSquare(Document& document, int32_t shift) {
        RenderState s = document.Current();
        Detector d(0, 1, 0, 0, NextDetectorNumber(s, 0), s.CanvasWidth(), s.CanvasHeight());
        d.points = kSquare;
        for (Point& p : d.points)
            p.x += shift;
        s.detectors.push_back(d);
        document.NewRenderState(std::move(s));
    }
    // One edit, seen by the frame as one change.
    static void Edit(MainFrame& frame, int32_t shift = 0) {
        AddSquare(frame.View().GetDocument(), shift);
        frame.ProcessChanges();
    }
    static std::vector<uint8_t> Bytes(MainFrame& frame) {
        Document& d = frame.View().GetDocument();
        return ProjectFileBytes(d.Current(), d.Path());
    }
    static size_t CopiesOnDisk() {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(ProjectRecovery::Folder().toStdString()))
            n += e.path().extension() == ".kvx";
        return n;
    }

    TempDir dir;
    std::vector<std::unique_ptr<MainFrame>> frames;
};

TEST_F(RecoveryTest, CopyIsWrittenOnEveryThirdChangeAndByTheTimerAndGoesWhenSaved) {
    FakePrompter prompts;
    MainFrame& frame = NewFrame(prompts);
    frame.StartRecovery(150, 3);
    Edit(frame);
    Edit(frame, 5);
    EXPECT_EQ(frame.Recovery().CopiesWritten(), 0u);
    Edit(frame, 10);
    ASSERT_EQ(frame.Recovery().CopiesWritten(), 1u);
    // The copy is the project file of the edited state.
    EXPECT_EQ(BinaryFile::ReadAll(frame.Recovery().CopyPath()), Bytes(frame));

    // One more change: the timer catches it up.
    Edit(frame, 15);
    for (int i = 0; i < 100 && frame.Recovery().CopiesWritten() < 2; ++i)
        RunIdle(20);
    EXPECT_EQ(frame.Recovery().CopiesWritten(), 2u);
    EXPECT_EQ(BinaryFile::ReadAll(frame.Recovery().CopyPath()), Bytes(frame));
    // No change since: the timer writes nothing more.
    RunIdle(400);
    EXPECT_EQ(frame.Recovery().CopiesWritten(), 2u);

    prompts.saveAnswer = QString::fromStdString(dir.Path() + "/saved.kvx");
    frame.OnCommand(CmdSave);
    RunIdle();
    EXPECT_FALSE(fs::exists(frame.Recovery().CopyPath()));
    EXPECT_EQ(CopiesOnDisk(), 0u);
}

TEST_F(RecoveryTest, ChangesAreCountedInEditsNotInRefreshes) {
    FakePrompter prompts;
    MainFrame& frame = NewFrame(prompts);
    frame.StartRecovery(60000, 3);
    Edit(frame);
    // Refreshes that carry no edit (a pane toggled, a repaint asked for)
    // do not bring the copy nearer.
    for (int i = 0; i < 5; ++i) {
        frame.View().GetDocument().Announce(DocumentChange::Content);
        frame.ProcessChanges();
    }
    EXPECT_EQ(frame.Recovery().CopiesWritten(), 0u);

    // Two edits reaching the window in one refresh count as two: with the
    // one before, that makes three.
    Document& doc = frame.View().GetDocument();
    AddSquare(doc, 5);
    AddSquare(doc, 10);
    frame.ProcessChanges();
    ASSERT_EQ(frame.Recovery().CopiesWritten(), 1u);
    EXPECT_EQ(BinaryFile::ReadAll(frame.Recovery().CopyPath()), Bytes(frame));

    // Undo and redo are edits too.
    doc.Undo();
    doc.Redo();
    doc.Undo();
    frame.ProcessChanges();
    ASSERT_EQ(frame.Recovery().CopiesWritten(), 2u);
    EXPECT_EQ(BinaryFile::ReadAll(frame.Recovery().CopyPath()), Bytes(frame));
}

TEST_F(RecoveryTest, ClosingWithoutSavingRemovesTheCopyTooAndACleanProjectHasNone) {
    FakePrompter prompts;
    MainFrame& frame = NewFrame(prompts);
    frame.StartRecovery(60000, 1);
    Edit(frame);
    ASSERT_TRUE(fs::exists(frame.Recovery().CopyPath()));
    // A new project, the changes let go: nothing unsaved, no copy.
    prompts.questionAnswer = Prompter::No;
    frame.OnCommand(CmdNew);
    RunIdle();
    EXPECT_FALSE(fs::exists(frame.Recovery().CopyPath()));
    EXPECT_FALSE(frame.Recovery().WriteNow());

    Edit(frame);
    ASSERT_TRUE(fs::exists(frame.Recovery().CopyPath()));
    prompts.questionAnswer = Prompter::Cancel; // "save changes?" - Cancel keeps the window and the copy
    EXPECT_FALSE(frame.close());
    EXPECT_TRUE(fs::exists(frame.Recovery().CopyPath()));
    prompts.questionAnswer = Prompter::No; // changes let go on purpose
    EXPECT_TRUE(frame.close());
    EXPECT_EQ(CopiesOnDisk(), 0u);
}

TEST_F(RecoveryTest, ACopyLeftBehindIsOfferedLaterRecoveredOrDiscarded) {
    // A run on a saved project that ends without closing (its frame simply
    // goes, as when the program is ended) leaves its copy.
    const std::string project = dir.Path() + "/yard.kvx";
    std::vector<uint8_t> saved, edited;
    {
        FakePrompter prompts;
        MainFrame& frame = NewFrame(prompts);
        Edit(frame);
        prompts.saveAnswer = QString::fromStdString(project);
        frame.OnCommand(CmdSaveAs);
        RunIdle();
        saved = Bytes(frame);
        frame.StartRecovery(60000, 2);
        Edit(frame, 20);
        Edit(frame, 40);
        edited = Bytes(frame);
        frames.clear();
    }
    ASSERT_EQ(CopiesOnDisk(), 1u);

    // Later: nothing changes, the copy stays for the next start.
    FakePrompter later;
    later.questionAnswer = Prompter::Cancel;
    MainFrame& second = NewFrame(later);
    second.StartRecovery();
    ASSERT_EQ(later.questions.size(), 1u);
    EXPECT_TRUE(later.questions[0].contains(QString::fromStdString(project)));
    EXPECT_TRUE(later.questions[0].endsWith(QStringLiteral(" | ") + Text(text::app_recovery_caption)));
    EXPECT_FALSE(second.View().GetDocument().Modified());
    EXPECT_EQ(CopiesOnDisk(), 1u);
    frames.clear();

    // Recover: the edited state, unsaved, with the saved project one undo away.
    FakePrompter recover;
    recover.questionAnswer = Prompter::Yes;
    MainFrame& third = NewFrame(recover);
    third.StartRecovery();
    RunIdle();
    Document& document = third.View().GetDocument();
    EXPECT_EQ(Bytes(third), edited);
    EXPECT_EQ(document.Path(), project);
    EXPECT_TRUE(document.Modified());
    EXPECT_EQ(ShownTitle(third).toStdString(), project + "* - Korvex");
    third.OnCommand(CmdUndo);
    RunIdle();
    EXPECT_EQ(Bytes(third), saved);
    // Back at the saved state there is nothing to recover.
    EXPECT_FALSE(document.Modified());
    EXPECT_EQ(CopiesOnDisk(), 0u);
    third.OnCommand(CmdRedo);
    RunIdle();
    // The old copy went; this run keeps its own of the recovered changes
    // (at its next copy, taken here).
    ASSERT_TRUE(third.Recovery().WriteNow());
    ASSERT_EQ(CopiesOnDisk(), 1u);
    EXPECT_EQ(BinaryFile::ReadAll(third.Recovery().CopyPath()), edited);
    frames.clear();

    // Discard: the copy goes and the project stays as saved.
    FakePrompter discard;
    discard.questionAnswer = Prompter::No;
    MainFrame& fourth = NewFrame(discard);
    fourth.StartRecovery();
    EXPECT_EQ(discard.questions.size(), 1u);
    EXPECT_EQ(CopiesOnDisk(), 0u);
    EXPECT_FALSE(fourth.View().GetDocument().Modified());
}

TEST_F(RecoveryTest, CopiesOfAnOpenWindowOrOlderThanTheSavedProjectAreNotOffered) {
    FakePrompter prompts;
    MainFrame& running = NewFrame(prompts);
    running.StartRecovery(60000, 1);
    Edit(running);
    ASSERT_EQ(CopiesOnDisk(), 1u);
    EXPECT_TRUE(ProjectRecovery::Pending().empty()); // its run holds the lock
    frames.clear();

    // A copy of a project that was saved again afterwards is older work.
    const std::string project = dir.Path() + "/gate.kvx";
    {
        FakePrompter p;
        MainFrame& frame = NewFrame(p);
        p.saveAnswer = QString::fromStdString(project);
        Edit(frame);
        frame.OnCommand(CmdSaveAs);
        RunIdle();
        frame.StartRecovery(60000, 1);
        Edit(frame, 30);
        frames.clear();
    }
    ASSERT_EQ(ProjectRecovery::Pending().size(), 2u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto bytes = BinaryFile::ReadAll(project);
    AtomicFile::WriteAll(project, bytes.data(), bytes.size()); // saved again, later
    const auto pending = ProjectRecovery::Pending();
    ASSERT_EQ(pending.size(), 1u); // only the untitled one is left
    EXPECT_EQ(pending[0].project, "");
    EXPECT_EQ(CopiesOnDisk(), 1u);
}

TEST_F(RecoveryTest, ABrokenCopyIsReportedAndKept) {
    fs::create_directories(ProjectRecovery::Folder().toStdString());
    const std::string copy = ProjectRecovery::Folder().toStdString() + "/1-1.kvx";
    const char junk[] = "not a project";
    AtomicFile::WriteAll(copy, junk, sizeof junk);
    FakePrompter prompts;
    prompts.questionAnswer = Prompter::Yes;
    MainFrame& frame = NewFrame(prompts);
    frame.StartRecovery();
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_TRUE(fs::exists(copy));
    EXPECT_FALSE(frame.View().GetDocument().Modified());
}

// The whole road: a real window process edits, is killed with SIGKILL, and
// the next window recovers exactly what it had.
TEST_F(RecoveryTest, KilledWindowsChangesAreRecoveredAtTheNextStart) {
    const std::string project = dir.Path() + "/site.kvx";
    {
        Document blank;
        blank.New();
        SaveProject(blank, project);
    }
    const std::string expected = dir.Path() + "/expected.kvx";
    std::vector<std::string> args = {KORVEX_RECOVERY_VICTIM, project, expected};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, KORVEX_RECOVERY_VICTIM, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string said;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (said.find("ready\n") == std::string::npos && std::chrono::steady_clock::now() < end) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 200) > 0) {
            char buffer[256];
            const ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            said.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(out[0]);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_EQ(said, "ready\n");
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    FakePrompter prompts;
    prompts.questionAnswer = Prompter::Yes;
    MainFrame& frame = NewFrame(prompts);
    frame.StartRecovery();
    RunIdle();
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(Bytes(frame), BinaryFile::ReadAll(expected));
    EXPECT_EQ(frame.View().GetDocument().Path(), project);
    EXPECT_EQ(frame.View().State().detectors.size(), 22u);
}

} // namespace
} // namespace korvex::test
