// The frame with its worker threads against the demo device on loopback:
// four cameras on the live page, the live tab's zoom and view options in
// the replies, option-mask bits only while the dialog is open, the tuning
// window's selection, traces and click-to-set, live pictures taken as
// backgrounds, and a bounded shutdown while the device has stalled.
#include "AppTestSupport.h"
#include "app/common/Commands.h"
#include "app/demo/DemoDevice.h"
#include "app/device/ConnectDialog.h"
#include "app/device/DeviceJobs.h"
#include "app/device/OptionMaskDialog.h"
#include "app/frame/LiveSiteLink.h"
#include "app/frame/TabView.h"
#include "app/live/LiveView.h"
#include "app/session/DeviceSession.h"
#include "app/tuning/TuningFrame.h"
#include "devsim/DeviceSimulator.h"
#include "model/DetectorTools.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <chrono>
#include <functional>

namespace korvex::test {
namespace {

class LiveDemoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
    void SetUp() override {
        FrameOptions options;
        options.prompter = &prompts;
        options.startWorkers = true;
        options.makeDemo = [] { return std::make_unique<DemoDevice>(); };
        frame = std::make_unique<MainFrame>(options);
        frame->Create();
        frame->StartDemo(false);
        RunIdle();
    }
    void TearDown() override {
        frame->StopThreads();
        frame.reset();
    }
    DeviceSession& Session() { return frame->Devices(); }
    LiveViewCore& Core() { return Session().LiveCore(); }
    devsim::DeviceSimulator& Device() { return *static_cast<DemoDevice&>(Session().Demo()).Simulator(); }
    // Runs the event loop until `condition` holds, at most `timeout_ms`.
    static bool Until(const std::function<bool()>& condition) {
        return test::WaitUntil(condition, std::chrono::seconds(15), test::ProcessEvents);
    }
    // The newest reply passes `test` (replies to pictures of every camera).
    bool LastReply(const std::function<bool(const devsim::LiveReplyRecord&)>& test) {
        auto replies = Device().LiveReplies();
        return !replies.empty() && test(replies.back());
    }
    bool HasPicture(unsigned camera) {
        bool have = false;
        Core().WithPicture(camera, [&](const Bitmap& b) {
            for (size_t i = 0; i < b.Data().size() && !have; i += 97)
                have = b.Data()[i] != 255;
        });
        return have;
    }
    bool AllFourCameras() {
        return Core().Layout().cameraCount == 4 && HasPicture(0) && HasPicture(1) && HasPicture(2) &&
               HasPicture(3);
    }

    FakePrompter prompts;
    std::unique_ptr<MainFrame> frame;
};

TEST_F(LiveDemoTest, FourCamerasOnTheLivePageWithItsZoomAndOptions) {
    EXPECT_EQ(frame->Tabs().ActiveTab(), 0);
    ASSERT_TRUE(Until([&] { return AllFourCameras(); }));
    EXPECT_EQ(Core().Layout().cameraWidth, 320);
    Core().WithPicture(1, [](const Bitmap& b) { EXPECT_EQ(b.Width(), 180u); });
    Core().WithPicture(3, [](const Bitmap& b) { EXPECT_EQ(b.Width(), 320u); }); // H.264, centre window
    LiveView& live = frame->Tabs().Live();
    // The size the live thread asked for arrives through the event loop.
    EXPECT_TRUE(Until([&] { return live.size() == QSize(2 * 320 + 32, (240 + 16) * 2); }));

    // Zoom on the live tab acts on the live page only.
    const int editorZoom = frame->View().Geometry().Zoom();
    frame->OnCommand(CmdZoomIn);
    EXPECT_EQ(Core().Layout().scale, 2);
    EXPECT_EQ(live.size(), QSize(2 * 2 * 320 + 32, (2 * 240 + 16) * 2));
    EXPECT_EQ(frame->View().Geometry().Zoom(), editorZoom);
    frame->OnCommand(CmdZoomOut);
    EXPECT_EQ(Core().Layout().scale, 1);

    // View options: kept by the live core, carried in every reply, shown
    // as menu checks.
    EXPECT_TRUE(Until([&] { return LastReply([](auto& r) { return (r.options & 0x91) == 0x90; }); }));
    frame->OnCommand(CmdViewOptionA);
    frame->OnCommand(CmdViewOptionB);
    EXPECT_FALSE(frame->Action(CmdViewOptionA)->isChecked());
    EXPECT_FALSE(frame->Action(CmdViewOptionB)->isChecked());
    EXPECT_TRUE(Until([&] { return LastReply([](auto& r) { return (r.options & 0xC1) == 0x41; }); }));
    frame->OnCommand(CmdViewOptionA);
    EXPECT_TRUE(frame->Action(CmdViewOptionA)->isChecked());
}

TEST_F(LiveDemoTest, OptionMaskBitsTravelOnlyWhileTheDialogIsOpen) {
    ASSERT_TRUE(Until([&] { return !Device().LiveReplies().empty(); }));
    EXPECT_TRUE(LastReply([](auto& r) { return (r.options & 0x02) == 0 && r.mask == 0; }));
    {
        OptionMaskDialog dialog(Session().OptionMask(), frame.get());
        dialog.show();
        QTest::mouseClick(dialog.Box(1050), Qt::LeftButton);
        QTest::mouseClick(dialog.Box(1065), Qt::LeftButton);
        const uint32_t want = 1u << 2 | 1u << 17;
        EXPECT_TRUE(
            Until([&] { return LastReply([&](auto& r) { return (r.options & 0x02) && r.mask == want; }); }));
        QTest::mouseClick(dialog.Box(1050), Qt::LeftButton);
        EXPECT_TRUE(Until([&] { return LastReply([](auto& r) { return r.mask == 1u << 17; }); }));
        dialog.reject();
        EXPECT_FALSE(Session().OptionMask().MaskDialogOpen());
    }
    EXPECT_TRUE(
        Until([&] { return LastReply([](auto& r) { return (r.options & 0x02) == 0 && r.mask == 0; }); }));
}

TEST_F(LiveDemoTest, TuningWindowFollowsTheSelectionAndSetsThresholdsWithOneClick) {
    // Detector 3 on card C, selected: the loop hands it to the tuning
    // window after the inspector.
    frame->View().Command(CmdAddQuad); // on the active card A
    Document& document = frame->View().GetDocument();
    RenderState fresh = document.Current();
    fresh.detectors.back().card = 2;
    fresh.detectors.back().number = 3;
    const auto last = int32_t(fresh.detectors.size()) - 1;
    document.NewRenderState(std::move(fresh), Selection{last, document.ComposerPath()});
    RunIdle();
    TuningFrame& tuning = frame->Tuning();
    EXPECT_EQ(tuning.Camera(), 2);
    EXPECT_EQ(tuning.DetectorIndex(), 2);
    ASSERT_TRUE(Until([&] {
        return LastReply(
            [](auto& r) { return (r.options & 0x04) && r.tuningCamera == 2 && r.tuningDetector == 2; });
    }));
    uint32_t total = 0;
    for (uint16_t v : devsim::TuningTraceValues(2, 2))
        total += v;
    ASSERT_TRUE(Until([&] { return tuning.View().Curve().Total() == total; }));

    // The request button's flag goes out in exactly one reply.
    Device().ClearLogs();
    QTest::mouseClick(&tuning.RequestButton(), Qt::LeftButton);
    ASSERT_TRUE(Until([&] { return Device().LiveReplies().size() > 40; }));
    int flagged = 0;
    for (const auto& r : Device().LiveReplies())
        flagged += (r.options & 0x08) ? 1 : 0;
    EXPECT_EQ(flagged, 1);

    // A click on the plot, answered Yes: both thresholds in one undo state.
    tuning.SetAsker([](QWidget*, const QString&, const QString&) { return true; });
    tuning.resize(340, 600);
    TuningView& view = tuning.View();
    const QRect area = view.contentsRect();
    const QPoint at = area.topLeft() + QPoint(area.width() / 4, area.height() / 2);
    const size_t historyBefore = frame->View().GetDocument().HistorySize();
    const int currentBefore = frame->View().GetDocument().CurrentIndex();
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, at);
    RunIdle();
    const Detector* d = frame->View().GetDocument().SelectedDetector();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->feature_threshold, uint32_t((at.x() - area.left()) * 1000 / area.width()));
    EXPECT_EQ(d->threshold,
              uint32_t(uint64_t(area.height() - (at.y() - area.top())) * total / area.height()));
    EXPECT_EQ(frame->View().GetDocument().CurrentIndex(), currentBefore + 1);
    EXPECT_LE(frame->View().GetDocument().HistorySize(), historyBefore + 1);
    // The fields show the new values.
    EXPECT_EQ(tuning.FeatureEdit().text(), QString::number(d->feature_threshold));
}

TEST_F(LiveDemoTest, LivePicturesBecomeTheBackgroundsInOneUndoStep) {
    ASSERT_TRUE(Until([&] { return AllFourCameras(); }));
    // The command works on every card: it stays available without an
    // active card, unlike loading one card's background.
    frame->Tabs().setCurrentIndex(1);
    RunIdle();
    MainView& editor = frame->View();
    QTest::mouseClick(&editor, Qt::LeftButton, Qt::NoModifier, QPoint(editor.width() - 3, 3));
    ASSERT_EQ(editor.ActiveCard(), -1);
    frame->UpdateMenuStates();
    EXPECT_FALSE(frame->Action(CmdLoadBackground)->isEnabled());
    EXPECT_TRUE(frame->Action(CmdLiveBackgrounds)->isEnabled());
    Document& document = frame->View().GetDocument();
    ASSERT_EQ(frame->View().State().width, 320u);
    ASSERT_EQ(frame->View().State().backgrounds.size(), 4u);
    const int before = document.CurrentIndex();
    frame->OnCommand(CmdLiveBackgrounds);
    EXPECT_EQ(document.CurrentIndex(), before + 1);
    const RenderState& state = frame->View().State();
    // The test picture's top-left quadrant is grey 48 (the H.264 camera up
    // to the codec's rounding), the colour camera's is red; camera B sends
    // 180 x 144 pictures, which do not fit this 320 x 240 project: card B
    // keeps its white background.
    EXPECT_EQ(state.backgrounds[0].GetPixelColour(10, 100), 0x303030u);
    EXPECT_EQ(state.backgrounds[1].GetPixelColour(10, 100), 0xFFFFFFu);
    EXPECT_EQ(state.backgrounds[2].Data()[size_t(100 * 320 + 10) * 3 + 2], 0xF8); // red byte
    EXPECT_NEAR(int(state.backgrounds[3].Data()[size_t(100 * 320 + 10) * 3]), 48, 4);
    frame->OnCommand(CmdUndo);
    EXPECT_EQ(frame->View().State().backgrounds[0].GetPixelColour(10, 100), 0xFFFFFFu);
}

TEST_F(LiveDemoTest, ShutdownEndsPromptlyWhileTheDeviceStalls) {
    ASSERT_TRUE(Until([&] { return Core().Layout().cameraCount == 4; }));
    devsim::FaultOptions faults;
    faults.liveFault = devsim::LiveFault::Stall;
    faults.liveFaultAfter = 0;
    Device().SetFaults(faults);
    // A new connection, on which the stall strikes at once: choosing no
    // device ends the current one, choosing the demo again reconnects.
    const unsigned connections = Device().LiveConnections();
    Session().ChooseDevice(-1);
    ASSERT_TRUE(Until([&] { return Core().Layout().cameraCount == 0; }));
    frame->Devices().StartDemo(false); // running: only makes it the target again
    ASSERT_TRUE(Until([&] { return Device().LiveConnections() > connections; }));
    QTest::qWait(300); // the live thread now waits for bytes that never come
    const auto start = std::chrono::steady_clock::now();
    frame->StopThreads();
    const auto took = std::chrono::steady_clock::now() - start;
    // A hang guard rather than a speed measure: every wait of the workers
    // looks at its stop request in short slices.
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_FALSE(Session().DemoRunning());
}

// The demo device may have had to take a free port for SSH: the connect
// dialog opened on it offers that port, and connecting with it works.
TEST_F(LiveDemoTest, ConnectDialogOffersTheDemoDevicesOwnPort) {
    frame->OnCommand(CmdConnect);
    RunIdle();
    ConnectDialog* dialog = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<ConnectDialog*>(w); d && d->isVisible())
            dialog = d;
    ASSERT_NE(dialog, nullptr);
    auto* port = qobject_cast<QSpinBox*>(dialog->Control(ConnectDialog::Port));
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->value(), int(Session().Demo().SshPort()));
    ConnectDeviceRequest request;
    qobject_cast<QLineEdit*>(dialog->Control(ConnectDialog::User))->setText("admin");
    qobject_cast<QLineEdit*>(dialog->Control(ConnectDialog::Password))->setText("admin");
    ASSERT_TRUE(dialog->Check(request));
    EXPECT_EQ(request.port, Session().Demo().SshPort());
    dialog->close();
}

} // namespace
} // namespace korvex::test

namespace korvex::test {
namespace {

// With a project file open, the demo's cameras show its cards, and the
// Help menu's demo entries knock camera 2 and put it back.
TEST(LiveDemoScenesTest, OpenedProjectPlaysAndCameraTwoCanBeKnockedAndStraightened) {
    EnsureApplication();
    FakePrompter prompts;
    FrameOptions options;
    options.prompter = &prompts;
    options.startWorkers = true;
    options.makeDemo = [] { return std::make_unique<DemoDevice>(); };
    MainFrame frame(options);
    frame.Create();
    frame.OpenAtStart(KORVEX_SAMPLE_PROJECT);
    frame.StartDemo(false);
    devsim::DeviceSimulator& device = *static_cast<DemoDevice&>(frame.Devices().Demo()).Simulator();
    EXPECT_TRUE(device.ShowsScenes());
    auto until = [](const std::function<bool()>& condition) {
        return test::WaitUntil(condition, std::chrono::seconds(20), test::ProcessEvents);
    };
    // Camera A shows the road's sky where the test picture had its dark
    // quadrant.
    LiveViewCore& core = frame.Devices().LiveCore();
    auto skyGrey = [&] {
        int grey = -1;
        core.WithPicture(0, [&](const Bitmap& b) {
            if (!b.Empty())
                grey = int(b.Row(10)[10 * 3 + 1]);
        });
        return grey;
    };
    ASSERT_TRUE(until([&] { return skyGrey() >= 0; }));
    EXPECT_GT(skyGrey(), 80);

    // The knock moves a camera the camera check can watch: camera A, whose
    // pictures have its card's size (camera B sends 180 x 144).
    const unsigned knocked = 0;
    auto lastFlagsOfKnocked = [&] {
        const auto messages = device.LiveMessages();
        for (auto it = messages.rbegin(); it != messages.rend(); ++it)
            if (it->kind == 1 && it->camera == knocked)
                return int(it->pictureFlags & 1);
        return -1;
    };
    EXPECT_TRUE(until([&] { return lastFlagsOfKnocked() == 0; }));
    frame.UpdateMenuStates();
    EXPECT_TRUE(frame.Action(CmdDemoKnock)->text().contains(CameraName(knocked)));
    frame.OnCommand(CmdDemoKnock);
    EXPECT_EQ(device.CameraShift(knocked),
              std::make_pair(int(DemoDevice::kKnockX), int(DemoDevice::kKnockY)));
    EXPECT_EQ(device.CameraShift(1), std::make_pair(0, 0));
    EXPECT_TRUE(until([&] { return lastFlagsOfKnocked() == 1; }));
    frame.OnCommand(CmdDemoStraighten);
    EXPECT_EQ(device.CameraShift(knocked), std::make_pair(0, 0));
    EXPECT_TRUE(until([&] { return lastFlagsOfKnocked() == 0; }));
    frame.StopThreads();
}

} // namespace
} // namespace korvex::test
