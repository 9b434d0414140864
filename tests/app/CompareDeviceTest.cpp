// File > Compare with... against the demo device over SSH: the device's
// current program (fetched first) and a program kept before an upload,
// which says what that upload changed.
#include "AppTestSupport.h"
#include "app/common/Commands.h"
#include "app/common/UiText.h"
#include "app/compare/ComparePane.h"
#include "app/demo/DemoDevice.h"
#include "app/device/ConnectDialog.h"
#include "app/device/DeviceCommands.h"
#include "app/device/HostKeyDialog.h"
#include "app/device/KeptProgram.h"
#include "app/frame/TabView.h"
#include "app/session/DeviceSession.h"
#include "app/widgets/StatusBar.h"
#include "devicelink/DeviceTexts.h"
#include "devicelink/ProgramHistory.h"
#include "devsim/DeviceFiles.h"
#include "devsim/DeviceSimulator.h"
#include "files/ProjectFile.h"
#include "framework/TextIds.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <functional>

namespace korvex::test {
namespace {

class CompareDeviceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
    void SetUp() override {
        // Programs kept before an upload go to this test's folder.
        setenv("XDG_DATA_HOME", (temp.Path() + "/data").c_str(), 1);
        FrameOptions options;
        options.prompter = &prompts;
        options.makeDemo = [] { return std::make_unique<DemoDevice>(); };
        frame = std::make_unique<MainFrame>(options);
        frame->Create();
        frame->StartDemo(false);
        RunIdle();
    }
    void TearDown() override {
        frame->StopThreads();
        frame.reset();
        unsetenv("XDG_DATA_HOME");
    }

    static bool Until(const std::function<bool()>& condition) {
        return test::WaitUntil(condition, std::chrono::seconds(20), test::ProcessEvents);
    }
    bool Idle() {
        return Until([&] { return frame->Devices().Session().PendingJob() == 0; });
    }

    // The device's program: a new project whose detector A1 waits `delay_ms`.
    void PutDeviceProgram(uint32_t delay_ms) {
        RenderState s = RenderState::NewProject();
        Detector d(1, 1, 0, 0, 1, s.CanvasWidth(), s.CanvasHeight());
        d.delay = delay_ms;
        s.detectors.push_back(d);
        const std::vector<uint8_t> bytes = ProjectFileBytes(s, "program.kvx");
        const std::string path = devsim::MapDevicePath(
            static_cast<DemoDevice&>(frame->Devices().Demo()).Simulator()->Settings().rootDir,
            "/etc/tavo/program.tdv");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    void ConnectTrusting() {
        frame->OnCommand(CmdConnect);
        auto* dialog = qobject_cast<ConnectDialog*>(frame->DeviceWindows().ActiveDialog());
        ASSERT_NE(dialog, nullptr);
        qobject_cast<QLineEdit*>(dialog->Control(ConnectDialog::User))->setText("admin");
        qobject_cast<QLineEdit*>(dialog->Control(ConnectDialog::Password))->setText("admin");
        dialog->accept();
        ASSERT_TRUE(Idle());
        RunIdle();
        if (auto* key = qobject_cast<HostKeyDialog*>(frame->DeviceWindows().ActiveDialog())) {
            key->ActionButton()->click();
            ASSERT_TRUE(Idle());
        }
        ASSERT_TRUE(Until([&] { return frame->Devices().Connected(); }));
    }

    // Compares with the source offered under `item` and waits for the pane.
    QListWidget* CompareWith(const QString& item) {
        prompts.chooseAnswer = item;
        frame->Comparison().Header()->clear();
        frame->OnCommand(CmdCompareWith);
        EXPECT_TRUE(Until(
            [&] { return !frame->Comparison().Header()->text().isEmpty() || !prompts.errors.empty(); }));
        EXPECT_TRUE(prompts.errors.empty()) << prompts.errors.back().toStdString();
        return frame->Comparison().List();
    }

    TempDir temp;
    FakePrompter prompts;
    std::unique_ptr<MainFrame> frame;
};

TEST_F(CompareDeviceTest, TheDevicesProgramAndTheOneKeptBeforeAnUploadAreCompared) {
    PutDeviceProgram(0);
    ASSERT_NO_FATAL_FAILURE(ConnectTrusting());

    // The project being edited: A1 waits 1.5 s.
    RenderState mine = RenderState::NewProject();
    Detector d(1, 1, 0, 0, 1, mine.CanvasWidth(), mine.CanvasHeight());
    d.delay = 1500;
    mine.detectors.push_back(d);
    frame->View().GetDocument().NewRenderState(mine);

    QListWidget* list = CompareWith(Text(text::compare_device));
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("A1: delay 0.0 s → 1.5 s"));
    ASSERT_FALSE(prompts.choices.empty());
    EXPECT_TRUE(prompts.choices.back().contains(Text(text::compare_file)));

    // A program kept before an earlier upload (delay 700 ms): compared with
    // it, the project shows what that upload changed.
    RenderState before = RenderState::NewProject();
    before.detectors.push_back(d);
    before.detectors[0].delay = 700;
    const std::vector<uint8_t> bytes = ProjectFileBytes(before, "kept.kvx");
    const std::string address =
        NetworkAddressText(frame->Devices().TargetAddress()); // the demo device, connected to
    ProgramHistory(ProgramHistory::DefaultRoot())
        .Keep(address, bytes.data(), bytes.size(), 133'000'000'000'000'000ull);
    list = CompareWith(Text(text::compare_device));
    ASSERT_EQ(list->count(), 1);
    const QString choices = prompts.choices.back();
    // Named by the date and time it was kept and the device, not its file.
    EXPECT_TRUE(choices.contains(KeptProgramLabel(ProgramHistory::EntryName(133'000'000'000'000'000ull),
                                                  QString::fromStdString(address))))
        << choices.toStdString();
    EXPECT_FALSE(choices.contains(".kvx")) << choices.toStdString();
    const qsizetype kept = choices.indexOf(QStringLiteral("Kept "));
    ASSERT_GE(kept, 0) << choices.toStdString();
    list = CompareWith(choices.mid(kept).section(QLatin1Char(','), 0, 0));
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("A1: delay 0.7 s → 1.5 s"));
}

TEST_F(CompareDeviceTest, ARestartIsShownOnTheLivePageAndTheWindowConnectsAgain) {
    ASSERT_NO_FATAL_FAILURE(ConnectTrusting());
    prompts.warningAnswer = true; // yes, restart now
    frame->OnCommand(CmdRestart);
    QLabel& banner = frame->Tabs().LiveBanner();
    EXPECT_TRUE(Until([&] { return !banner.isHidden(); }));
    EXPECT_EQ(banner.text(), Text(text::live_device_restarting));
    // The device is away for a few seconds; the window logs in again with
    // the login typed at the start, without asking for it.
    const QString again = Text(text::reconnect_connected_again);
    EXPECT_TRUE(test::WaitUntil([&] { return frame->Status().Text().startsWith(again); },
                                std::chrono::seconds(90), test::ProcessEvents))
        << frame->Status().Text().toStdString();
    EXPECT_TRUE(frame->Devices().Connected());
    EXPECT_TRUE(banner.isHidden());
    EXPECT_EQ(frame->DeviceWindows().ActiveDialog(), nullptr); // no connect dialog, no password asked
    EXPECT_TRUE(prompts.errors.empty()) << prompts.errors.back().toStdString();
}

} // namespace
} // namespace korvex::test
