#include "AppTestSupport.h"
#include "app/common/Commands.h"
#include "app/device/DeviceCommands.h"
#include "app/device/Explorer.h"
#include "app/dialogs/AboutDialog.h"
#include "app/dialogs/ConfigTestDialog.h"
#include "app/editor/Inspector.h"
#include "app/editor/ProblemsView.h"
#include "app/frame/TabView.h"
#include "app/session/DeviceSession.h"
#include "app/session/ProjectSession.h"
#include "app/sinks/StatusForwarder.h"
#include "app/widgets/PaneDock.h"
#include "app/widgets/StatusBar.h"
#include "files/ProjectFile.h"
#include "framework/AtomicFile.h"
#include "framework/BinaryFile.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QStatusTipEvent>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

namespace korvex::test {
namespace {

using MainFrameTest = FrameTest;

const std::array<Point, 4> kSquare{{{100, 100}, {140, 100}, {140, 140}, {100, 140}}};

TEST_F(MainFrameTest, ToolbarHasTheThirtyTwoEntriesWithTheirTooltips) {
    QList<QAction*> entries = frame->ToolBar().actions();
    // The 32 entries, then a separator and the live page's detector toggle.
    ASSERT_EQ(entries.size(), 34);
    EXPECT_TRUE(entries[32]->isSeparator());
    EXPECT_EQ(entries[33]->data().toInt(), int(CmdLiveDetectors));
    int k = 0;
    for (int i = 0; i < 32; ++i) {
        if (kToolbar[i].command == 0) {
            EXPECT_TRUE(entries[i]->isSeparator()) << i;
            continue;
        }
        ++k;
        EXPECT_EQ(entries[i]->data().toInt(), kToolbar[i].command);
        EXPECT_EQ(entries[i]->toolTip().toStdString(), LoadTextA(text::toolbar_new_project + k - 1)) << i;
        EXPECT_FALSE(entries[i]->icon().isNull());
        EXPECT_FALSE(entries[i]->icon().pixmap(QSize(32, 32)).isNull()); // the 2x picture
    }
    EXPECT_EQ(k, 26);
}

TEST_F(MainFrameTest, UndoRedoAndSaveButtonsFollowTheHistory) {
    QAction* save = frame->Action(CmdSave);
    QAction* undo = frame->Action(CmdUndo);
    QAction* redo = frame->Action(CmdRedo);
    EXPECT_FALSE(save->isEnabled());
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());
    AddQuad(0, kSquare);
    AddQuad(0, kSquare);
    RunIdle();
    EXPECT_TRUE(save->isEnabled());
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());
    QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
    RunIdle();
    EXPECT_EQ(Doc().CurrentIndex(), 1);
    EXPECT_TRUE(redo->isEnabled());
    frame->OnCommand(CmdUndo);
    RunIdle();
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_TRUE(redo->isEnabled());
    frame->OnCommand(CmdRedo);
    frame->OnCommand(CmdRedo);
    RunIdle();
    EXPECT_EQ(State().detectors.size(), 2u);
    EXPECT_FALSE(redo->isEnabled());
}

TEST_F(MainFrameTest, ManyEditsBetweenIdleMomentsCostOneProblemsRebuild) {
    int before = frame->Problems().RebuildCount();
    for (int i = 0; i < 5; ++i)
        AddQuad(0, kSquare, 1);                          // five detectors A1: duplicates
    EXPECT_EQ(frame->Problems().RebuildCount(), before); // nothing until the queue runs empty
    RunIdle();
    EXPECT_EQ(frame->Problems().RebuildCount(), before + 1);
    EXPECT_EQ(frame->Problems().Lines().size(), 10); // one line per pair
    RunIdle();
    EXPECT_EQ(frame->Problems().RebuildCount(), before + 1); // idle again, nothing marked
}

TEST_F(MainFrameTest, ProblemsListEmptiesWhenTheLastOffenderGoes) {
    AddQuad(1, kSquare, 33);
    RunIdle();
    ASSERT_EQ(frame->Problems().Lines().size(), 1);
    EXPECT_TRUE(frame->Problems().Lines()[0].contains(QStringLiteral("B33")));
    Click(At(1, 120, 120));
    frame->OnCommand(CmdDelete);
    RunIdle();
    EXPECT_TRUE(frame->Problems().Lines().isEmpty());
    EXPECT_FALSE(frame->Problems().HasProblems());
}

TEST_F(MainFrameTest, ProblemLinesAreShownInTextOrder) {
    AddQuad(1, kSquare, 33);
    AddQuad(0, kSquare, 40);
    RunIdle();
    QStringList lines = frame->Problems().Lines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("A40")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("B33")));
}

TEST_F(MainFrameTest, UploadIsRefusedWhileProblemsAreListed) {
    AddQuad(0, kSquare, 33);
    frame->OnCommand(CmdUpload);
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(prompts.errors[0].toStdString(), LoadTextA(text::program_upload_refused_problems));
    EXPECT_TRUE(prompts.warnings.empty());
}

// A frame whose device session is replaced by a recorder.
class UploadFrame : public MainFrame {
public:
    using MainFrame::MainFrame;
    bool DeviceConnected() override { return connected; }
    bool PostUpload(std::vector<uint8_t> bytes) override {
        posted.push_back(std::move(bytes));
        return true;
    }
    bool connected = true;
    std::vector<std::vector<uint8_t>> posted;
};

TEST(Upload, SavesAsksAndPostsTheSavedFile) {
    EnsureApplication();
    FakePrompter prompts;
    FrameOptions options;
    options.prompter = &prompts;
    options.startWorkers = false;
    UploadFrame frame(options);
    frame.Create();
    Document& doc = frame.View().GetDocument();
    test::PushEdited(doc, [](RenderState& s) { s.detectors.push_back(Detector(0, 1, 0, 0, 1, 320, 240)); });

    prompts.warningAnswer = false; // No: nothing saved or sent
    frame.OnCommand(CmdUpload);
    EXPECT_EQ(prompts.warnings.size(), 1u);
    EXPECT_TRUE(frame.posted.empty());
    EXPECT_EQ(prompts.saveDialogs, 0);

    TempDir dir;
    std::string path = dir.Path() + "/upload.kvx";
    prompts.warningAnswer = true;
    prompts.saveAnswer = QString::fromStdString(path);
    frame.OnCommand(CmdUpload);
    ASSERT_TRUE(prompts.errors.empty()) << prompts.errors[0].toStdString();
    ASSERT_EQ(frame.posted.size(), 1u);
    std::ifstream saved(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    EXPECT_EQ(frame.posted[0], bytes);
    EXPECT_FALSE(doc.Modified());

    frame.connected = false; // not connected: the command does nothing
    frame.OnCommand(CmdUpload);
    EXPECT_EQ(prompts.warnings.size(), 2u);
    EXPECT_EQ(frame.posted.size(), 1u);
}

TEST_F(MainFrameTest, MayCloseAsksOnlyWithUnsavedChanges) {
    EXPECT_TRUE(frame->Projects().MayClose());
    EXPECT_TRUE(prompts.questions.empty());
    AddQuad(0, kSquare);
    prompts.questionAnswer = Prompter::Cancel;
    EXPECT_FALSE(frame->Projects().MayClose());
    prompts.questionAnswer = Prompter::No;
    EXPECT_TRUE(frame->Projects().MayClose());
    EXPECT_EQ(prompts.questions.size(), 2u);
    // Yes saves: a cancelled save dialog keeps the window open.
    prompts.questionAnswer = Prompter::Yes;
    prompts.saveAnswer.clear();
    EXPECT_FALSE(frame->Projects().MayClose());
    EXPECT_EQ(prompts.saveDialogs, 1);
}

TEST_F(MainFrameTest, ClosingTheFrameRespectsTheAnswer) {
    AddQuad(0, kSquare);
    prompts.questionAnswer = Prompter::Cancel;
    frame->close();
    EXPECT_TRUE(frame->isVisible());
    prompts.questionAnswer = Prompter::No;
    frame->close();
    EXPECT_FALSE(frame->isVisible());
    EXPECT_FALSE(frame->InspectorPane().isVisible());
}

TEST_F(MainFrameTest, SavingSetsTheTitleAndReopeningRestoresTheProject) {
    TempDir dir;
    std::string path = dir.Path() + "/gate.kvx";
    EXPECT_EQ(ShownTitle(*frame), QStringLiteral("Korvex"));
    AddQuad(2, kSquare, 7);
    prompts.saveAnswer = QString::fromStdString(path);
    frame->OnCommand(CmdSave);
    ASSERT_TRUE(prompts.errors.empty()) << prompts.errors[0].toStdString();
    EXPECT_FALSE(Doc().Modified());
    // The title follows the document's file at the next idle refresh.
    RunIdle();
    EXPECT_EQ(ShownTitle(*frame).toStdString(), path + " - Korvex");
    EXPECT_FALSE(frame->Action(CmdSave)->isEnabled());

    frame->OnCommand(CmdNew);
    RunIdle();
    EXPECT_EQ(ShownTitle(*frame), QStringLiteral("Korvex"));
    EXPECT_TRUE(State().detectors.empty());
    prompts.openAnswer = QString::fromStdString(path);
    frame->OnCommand(CmdOpen);
    ASSERT_EQ(State().detectors.size(), 1u);
    EXPECT_EQ(State().detectors[0].card, 2u);
    EXPECT_EQ(State().detectors[0].number, 7u);
    EXPECT_EQ(State().detectors[0].points, kSquare);
    RunIdle();
    EXPECT_EQ(ShownTitle(*frame).toStdString(), path + " - Korvex");
    EXPECT_EQ(View().ActiveCard(), 0);
}

TEST_F(MainFrameTest, AProjectNamedAtStartOpensOnTheEditingPage) {
    TempDir dir;
    std::string path = dir.Path() + "/start.kvx";
    AddQuad(3, kSquare, 2);
    prompts.saveAnswer = QString::fromStdString(path);
    frame->OnCommand(CmdSaveAs);
    frame->OnCommand(CmdNew);
    frame->Tabs().setCurrentIndex(0);
    frame->OpenAtStart(path);
    EXPECT_EQ(frame->Tabs().ActiveTab(), 1);
    ASSERT_EQ(State().detectors.size(), 1u);
    EXPECT_EQ(State().detectors[0].card, 3u);
    frame->OpenAtStart(dir.Path() + "/missing.kvx");
    EXPECT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(State().detectors.size(), 1u);
}

TEST_F(MainFrameTest, OpeningABrokenFileShowsTheErrorAndKeepsTheProject) {
    TempDir dir;
    std::string path = dir.Path() + "/broken.kvx";
    std::ofstream(path) << "garbage";
    AddQuad(0, kSquare);
    prompts.questionAnswer = Prompter::No;
    prompts.openAnswer = QString::fromStdString(path);
    frame->OnCommand(CmdOpen);
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(State().detectors.size(), 1u);
}

TEST_F(MainFrameTest, PanesShowPerTabAndTogglesTakeEffectOnTheirPage) {
    RunIdle();
    EXPECT_TRUE(frame->InspectorPane().isVisible());
    EXPECT_TRUE(frame->ComposerPane().isVisible());
    EXPECT_FALSE(frame->ExplorerPane().isVisible());
    EXPECT_FALSE(frame->TuningPane().isVisible());
    frame->Tabs().setCurrentIndex(0);
    RunIdle();
    EXPECT_FALSE(frame->InspectorPane().isVisible());
    EXPECT_FALSE(frame->ComposerPane().isVisible());
    EXPECT_TRUE(frame->ExplorerPane().isVisible());
    frame->OnCommand(CmdToggleComposer); // off, on the live page: nothing visible changes
    frame->OnCommand(CmdToggleTuning);   // the tuning window shows on either page
    RunIdle();
    EXPECT_FALSE(frame->ComposerPane().isVisible());
    EXPECT_TRUE(frame->TuningPane().isVisible());
    frame->Tabs().setCurrentIndex(1);
    RunIdle();
    EXPECT_FALSE(frame->ComposerPane().isVisible());
    EXPECT_TRUE(frame->InspectorPane().isVisible());
    EXPECT_TRUE(frame->TuningPane().isVisible());
}

TEST_F(MainFrameTest, ClosingAPaneClearsItsToggle) {
    RunIdle();
    frame->InspectorPane().close();
    EXPECT_FALSE(frame->ShowingInspector());
    frame->UpdateMenuStates();
    EXPECT_FALSE(frame->Action(CmdToggleInspector)->isChecked());
    frame->Tabs().setCurrentIndex(0);
    frame->Tabs().setCurrentIndex(1);
    RunIdle();
    EXPECT_FALSE(frame->InspectorPane().isVisible());
    frame->OnCommand(CmdToggleInspector);
    RunIdle();
    EXPECT_TRUE(frame->InspectorPane().isVisible());
    EXPECT_TRUE(frame->Action(CmdToggleInspector)->isChecked());
}

TEST_F(MainFrameTest, WorkersReachTheStatusBarThroughItsForwarder) {
    StatusBar& status = frame->Status();
    StatusSink& sink = frame->StatusSinkForWorkers();
    EXPECT_EQ(status.Text().toStdString(), LoadTextA(text::status_not_connected));
    EXPECT_FALSE(status.ProgressVisible());
    std::thread worker([&sink] {
        sink.ShowProgress(40, text::program_uploading);
        sink.ShowProgress(60, 0);
    });
    worker.join();
    RunIdle();
    EXPECT_TRUE(status.ProgressVisible());
    EXPECT_EQ(status.Progress(), 60);
    EXPECT_EQ(status.Text().toStdString(), LoadTextA(text::program_uploading));
    std::thread([&sink] { sink.ShowText("Connected as admin"); }).join();
    RunIdle();
    EXPECT_FALSE(status.ProgressVisible());
    EXPECT_EQ(status.Text(), QStringLiteral("Connected as admin"));
    std::thread([&sink] { sink.ShowError("lost"); }).join();
    RunIdle();
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(prompts.errors[0], QStringLiteral("lost"));
}

// Resting the pointer on a toolbar button leaves the status bar's text and
// progress in view (the button shows its tool tip instead).
TEST_F(MainFrameTest, HoveringTheToolbarKeepsTheStatusBar) {
    StatusBar& status = frame->Status();
    status.ShowProgress(30, text::program_uploading);
    QWidget* button = frame->ToolBar().widgetForAction(frame->Action(CmdNew));
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->toolTip().isEmpty());
    QStatusTipEvent hover(button->statusTip());
    QApplication::sendEvent(button, &hover);
    RunIdle();
    EXPECT_TRUE(status.ProgressVisible());
    EXPECT_FALSE(status.findChild<QWidget*>(QStringLiteral("statusText"))->isHidden());
    EXPECT_EQ(status.Text().toStdString(), LoadTextA(text::program_uploading));
}

// A widget that a worker reports to may go while the worker runs (a dialog
// closed in the middle of a job): the worker holds only the forwarder, and
// what it sends after the widget went is dropped.
TEST_F(MainFrameTest, AForwarderDropsCallsForAWidgetThatWent) {
    StatusForwarder forwarder(prompts);
    auto* bar = new StatusBar;
    forwarder.Attach(bar);
    std::thread([&forwarder] { forwarder.ShowText("first"); }).join();
    RunIdle();
    EXPECT_EQ(bar->Text(), QStringLiteral("first"));
    // Posted while attached, delivered after the widget is gone.
    std::thread([&forwarder] { forwarder.ShowText("second"); }).join();
    delete bar;
    RunIdle();
    EXPECT_EQ(forwarder.Attached(), nullptr);
    auto* other = new StatusBar;
    forwarder.Attach(other);
    forwarder.Detach(other);
    std::thread([&forwarder] { forwarder.ShowProgress(50, 0); }).join();
    RunIdle();
    EXPECT_FALSE(other->ProgressVisible());
    delete other;
}

TEST_F(MainFrameTest, DeviceCommandsAreGreyedWhileNotConnected) {
    frame->UpdateMenuStates();
    EXPECT_TRUE(frame->Action(CmdConnect)->isEnabled());
    for (int id : {CmdDisconnect, CmdUpload, CmdDownloadProgram, CmdRestart, CmdRecordings, CmdChangePassword,
                   CmdNetworkSettings, CmdRestoreProgram})
        EXPECT_FALSE(frame->Action(id)->isEnabled()) << id;
    frame->OnCommand(CmdRecordings); // not connected: no window
    EXPECT_EQ(frame->DeviceWindows().ActiveDialog(), nullptr);
    frame->OnCommand(CmdConnect);
    ASSERT_NE(frame->DeviceWindows().ActiveDialog(), nullptr);
    EXPECT_NE(frame->DeviceWindows().ActiveDialog()->findChild<QWidget*>("deviceAddress"), nullptr);
    frame->DeviceWindows().ActiveDialog()->reject();
}

TEST_F(MainFrameTest, ConfigurationTestListsThePackageEntries) {
    AddQuad(0, kSquare, 1);
    AddQuad(1, kSquare, 1);
    ConfigTestDialog dialog(State(), prompts, frame.get());
    dialog.Fill();
    EXPECT_EQ(dialog.Names(), (QStringList{"det1.bmp", "det2.bmp", "config.txt", "compose.txt"}));
}

TEST_F(MainFrameTest, AboutBoxShowsVersionSix) {
    AboutDialog about(frame.get());
    EXPECT_TRUE(about.VersionText().endsWith(QStringLiteral(" 6")));
}

TEST_F(MainFrameTest, ContextMenuStatesFollowTheSelectionAndHistory) {
    AddQuad(0, kSquare);
    Click(At(0, 120, 120));
    QTest::mouseClick(&View(), Qt::RightButton, Qt::NoModifier, At(0, 200, 50));
    EXPECT_EQ(View().MenuPoint(), At(0, 200, 50));
    EXPECT_TRUE(frame->ContextMenu().isVisible());
    EXPECT_TRUE(frame->Action(CmdCopy)->isEnabled());
    EXPECT_FALSE(frame->Action(CmdPaste)->isEnabled());
    EXPECT_TRUE(frame->Action(CmdSave)->isEnabled());
    EXPECT_FALSE(frame->Action(CmdRedo)->isEnabled());
    frame->ContextMenu().close();
    frame->OnCommand(CmdAddLineHere);
    const Detector& added = State().detectors.back();
    EXPECT_EQ(added.line, 1u);
    EXPECT_EQ(added.Bounds().left, 200);
    EXPECT_EQ(added.Bounds().top, 50);
}

TEST_F(MainFrameTest, ExplorerListsAnnouncedDevicesAndSetsTheTarget) {
    Explorer& explorer = frame->GetExplorer();
    DeviceSession& session = frame->Devices();
    std::thread scan([&session] {
        session.Devices().DeviceSeen(0x1400A8C0u, "Gate 3"); // 192.168.0.20
        session.Devices().DeviceSeen(0x1500A8C0u, "");
    });
    scan.join();
    RunIdle();
    ASSERT_EQ(explorer.List()->count(), 3);
    EXPECT_EQ(explorer.List()->item(1)->text(), QStringLiteral("192.168.0.20 (Gate 3)"));
    EXPECT_EQ(explorer.List()->item(2)->text(), QStringLiteral("192.168.0.21"));
    EXPECT_TRUE(frame->ExplorerPane().windowTitle().endsWith(QStringLiteral(" (2)")));
    explorer.List()->setCurrentRow(1);
    EXPECT_EQ(session.TargetAddress(), 0x1400A8C0u);
    std::thread([&session] { session.Devices().DeviceSeen(0x1400A8C0u, ""); }).join();
    RunIdle();
    EXPECT_EQ(explorer.List()->item(1)->text(), QStringLiteral("192.168.0.20"));
    explorer.List()->setCurrentRow(0);
    EXPECT_EQ(session.TargetAddress(), 0u);
}

// Start-up and shutdown with the real worker threads: stopping them ends
// the session thread first, then discovery, before the frame goes.
TEST(FrameShutdown, StopsTheWorkersInOrder) {
    EnsureApplication();
    std::mutex lock;
    std::vector<std::string> lines;
    TraceSink previous = SetTraceSink([&](const std::string& line) {
        std::lock_guard<std::mutex> guard(lock);
        lines.push_back(line);
    });
    {
        FakePrompter prompts;
        FrameOptions options;
        options.prompter = &prompts;
        auto frame = std::make_unique<MainFrame>(options);
        frame->Create();
        RunIdle();
        frame->StopThreads();
        frame->StopThreads(); // a second call finds nothing to do
        frame.reset();
    }
    SetTraceSink(previous);
    auto at = [&](const std::string& text) {
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == text)
                return static_cast<long>(i);
        return -1L;
    };
    long connectionStopped = at("Thread::Stop: Stopped thread Connection\n");
    long scanStopping = at("Thread::Stop: Stopping thread Scan\n");
    ASSERT_GE(connectionStopped, 0);
    ASSERT_GE(scanStopping, 0);
    EXPECT_LT(at("Thread::Stop: Stopping thread Connection\n"), connectionStopped);
    EXPECT_LT(connectionStopped, scanStopping);
    EXPECT_GE(at("Thread::Stop: Stopped thread Scan\n"), 0);
}

// The language menu lists the folders beside the program that hold a
// "*.mui" file, then "auto".
class LanguageMenuTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
};

TEST_F(LanguageMenuTest, ListsFoldersWithStringTablesOnly) {
    TempDir dir;
    namespace fs = std::filesystem;
    fs::create_directories(dir.Path() + "/de");
    fs::create_directories(dir.Path() + "/fr");
    fs::create_directories(dir.Path() + "/empty");
    std::ofstream(dir.Path() + "/de/korvex.mui") << "1\tx\n";
    std::ofstream(dir.Path() + "/fr/app.mui") << "1\tx\n";
    std::ofstream(dir.Path() + "/empty/readme.txt") << "no table\n";
    std::ofstream(dir.Path() + "/stray.mui") << "1\tx\n";
    const char* old = std::getenv("KORVEX_LANG_DIR");
    std::string saved = old ? old : "";
    setenv("KORVEX_LANG_DIR", dir.Path().c_str(), 1);
    FakePrompter prompts;
    FrameOptions options;
    options.prompter = &prompts;
    options.startWorkers = false;
    auto frame = std::make_unique<MainFrame>(options);
    EXPECT_EQ(frame->Languages(), (std::vector<std::string>{"de", "fr"}));
    QList<QAction*> items = frame->LanguageMenu().actions();
    ASSERT_EQ(items.size(), 4); // de, fr, separator, auto
    EXPECT_EQ(items[0]->text(), QStringLiteral("de"));
    EXPECT_EQ(items[1]->text(), QStringLiteral("fr"));
    EXPECT_EQ(items[3], frame->Action(CmdLanguageAuto));
    EXPECT_EQ(frame->Action(CmdLanguageFirst + 1), items[1]);

    fs::remove_all(dir.Path() + "/de");
    fs::remove_all(dir.Path() + "/fr");
    auto bare = std::make_unique<MainFrame>(options);
    EXPECT_TRUE(bare->Languages().empty());
    EXPECT_EQ(bare->LanguageMenu().actions().size(), 2); // separator, auto
    if (old)
        setenv("KORVEX_LANG_DIR", saved.c_str(), 1);
    else
        unsetenv("KORVEX_LANG_DIR");
}

// The expression checks are warnings: listed with their own mark after the
// problems, they never stop an upload; the problems still do.
TEST(Upload, WarningsAreListedButDoNotStopIt) {
    EnsureApplication();
    FakePrompter prompts;
    FrameOptions options;
    options.prompter = &prompts;
    options.startWorkers = false;
    UploadFrame frame(options);
    frame.Create();
    Document& doc = frame.View().GetDocument();
    test::PushEdited(doc, [](RenderState& s) {
        s.detectors.push_back(Detector(0, 1, 0, 0, 1, 320, 240));
        // Or applied to a fresh row: (1 | 0), an output that never changes.
        ComposerItem constant(ComposerItem::Or);
        constant.children = {ComposerItem(ComposerItem::One), ComposerItem(ComposerItem::Zero)};
        s.composer_y[0] = constant;
    });

    TempDir dir;
    prompts.warningAnswer = true;
    prompts.saveAnswer = QString::fromStdString(dir.Path() + "/warned.kvx");
    frame.OnCommand(CmdUpload);
    EXPECT_TRUE(prompts.errors.empty());
    EXPECT_EQ(frame.posted.size(), 1u);
    ASSERT_EQ(frame.Problems().Lines().size(), 1);
    EXPECT_TRUE(frame.Problems().IsWarning(0));
    EXPECT_FALSE(frame.Problems().HasProblems());
    EXPECT_EQ(frame.Problems().WarningCount(), 1);

    // A detector number out of range is a problem: listed first, and the
    // upload is refused.
    test::PushEdited(doc, [](RenderState& s) { s.detectors.push_back(Detector(0, 1, 0, 1, 40, 320, 240)); });
    frame.OnCommand(CmdUpload);
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(frame.posted.size(), 1u);
    ASSERT_EQ(frame.Problems().Lines().size(), 2);
    EXPECT_TRUE(frame.Problems().Lines()[0].contains(QStringLiteral("B40")));
    EXPECT_FALSE(frame.Problems().IsWarning(0));
    EXPECT_TRUE(frame.Problems().IsWarning(1));
}

// A file cut inside its output expressions opens with what could be read
// and a box that says what could not; saving over it asks first.
TEST_F(MainFrameTest, ACutFileOpensWithABoxAndSavingOverItAsks) {
    RenderState state = RenderState::NewProject();
    state.detectors.push_back(Detector(1, 1, 0, 0, 1, 320, 240));
    state.composer_y[0] = ComposerItem(ComposerItem::InputA, 1);
    const std::vector<uint8_t> whole = ProjectFileBytes(state, "cut.kvx");
    const size_t cut = 8 + RenderStatePayload(state).size() + 12; // inside the expressions
    TempDir dir;
    const std::string path = dir.Path() + "/cut.kvx";
    AtomicFile::WriteAll(path, whole.data(), cut);

    frame->Projects().Open(path);
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_TRUE(prompts.errors[0].contains(QString::fromStdString(LoadTextA(text::file_part_expressions))))
        << prompts.errors[0].toStdString();
    EXPECT_TRUE(frame->Projects().FromIncompleteFile());
    EXPECT_EQ(frame->Projects().State().detectors.size(), 1u);

    prompts.warningAnswer = false; // No: the file stays as it is
    EXPECT_FALSE(frame->Projects().Save());
    ASSERT_EQ(prompts.warnings.size(), 1u);
    EXPECT_TRUE(prompts.warnings[0].contains(QString::fromStdString(path)));
    EXPECT_EQ(BinaryFile::ReadAll(path).size(), cut);

    // Saving elsewhere asks nothing, and the project is whole from then on.
    prompts.saveAnswer = QString::fromStdString(dir.Path() + "/copy.kvx");
    EXPECT_TRUE(frame->Projects().SaveAs());
    EXPECT_EQ(prompts.warnings.size(), 1u);
    EXPECT_FALSE(frame->Projects().FromIncompleteFile());

    // Yes replaces the cut file with what was read.
    frame->Projects().Open(path);
    prompts.warningAnswer = true;
    EXPECT_TRUE(frame->Projects().Save());
    EXPECT_EQ(prompts.warnings.size(), 2u);
    const ProjectRead read = ReadProjectFile(path);
    EXPECT_EQ(read.state.detectors.size(), 1u);
    EXPECT_TRUE(read.gaps.Complete());
}

} // namespace
} // namespace korvex::test
