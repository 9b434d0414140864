// The live page's site checks in the window: the project's detectors over
// the live pictures, choosing one by a double click, and a camera that has
// moved (its note, the problems list, and the detectors following it).
#include "AppTestSupport.h"
#include "app/common/Commands.h"
#include "app/common/UiText.h"
#include "app/editor/ProblemsView.h"
#include "app/frame/LiveSiteLink.h"
#include "app/frame/TabView.h"
#include "app/live/LiveView.h"
#include "app/session/DeviceSession.h"
#include "app/sinks/LiveForwarders.h"
#include "framework/TextIds.h"
#include "model/CameraFollow.h"
#include "model/DetectorEdits.h"
#include "model/DetectorGeometry.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <thread>
#include <tuple>

namespace korvex::test {
namespace {

Bitmap Grey(uint32_t w, uint32_t h, uint8_t g = 100) {
    Bitmap b(w, h);
    for (uint8_t& v : b.Data())
        v = g;
    return b;
}

void DoubleClick(QWidget& w, QPoint at) {
    QMouseEvent e(QEvent::MouseButtonDblClick, QPointF(at), w.mapToGlobal(QPointF(at)), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

// The live view widget alone over its core.
class LiveOverlayView : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
    void SetUp() override {
        sink.AttachHost(&view, &view);
        view.Attach(&core);
    }
    void TearDown() override {
        view.Attach(nullptr);
        sink.DetachHost(&view);
    }
    void Camera(uint8_t camera, uint16_t w, uint16_t h) {
        PictureHeader header;
        header.camera = camera;
        header.width = w;
        header.height = h;
        core.OnFrameHeader(header);
        now += 200;
        core.Deliver(camera, Grey(w, h));
    }
    QRgb At(QPoint p) { return view.grab().toImage().pixel(p) | 0xFF000000u; }

    uint64_t now = 1000000;
    LiveViewForwarder sink;
    LiveViewCore core{sink, [this] { return now; }};
    LiveView view;
};

TEST_F(LiveOverlayView, DrawsEachCamerasDetectorsByTheEditorsPlacementAndScale) {
    // A 180 x 144 project: canvas column 30 is the picture's first column.
    RenderState state = RenderState::NewProject();
    state.width = 180;
    state.height = 144;
    Detector a(1, 1, 0, 0, 1, 240, 144), b(1, 1, 0, 1, 2, 240, 144);
    a.points = {{{40, 20}, {100, 20}, {100, 80}, {40, 80}}};
    b.points = a.points;
    state.detectors = {a, b};
    Camera(0, 180, 144);
    Camera(1, 180, 144);
    view.SetDetectors(LiveOverlayOf(state, 1), 180, 144);
    view.resize(view.size());
    const QRect pic0 = (view.grab(), view.PictureRect(0)), pic1 = view.PictureRect(1);
    const QPoint edge0 = pic0.topLeft() + QPoint(10, 50), edge1 = pic1.topLeft() + QPoint(10, 50);
    EXPECT_EQ(At(edge0), qRgb(100, 100, 100)); // hidden until shown
    view.ShowDetectors(true);
    EXPECT_EQ(At(edge0), LiveView::kDetectorColour);
    EXPECT_EQ(At(edge1), LiveView::kSelectedColour); // the editor's selection
    EXPECT_EQ(At(edge0 + QPoint(5, 0)), qRgb(100, 100, 100));
    // At magnification 2 the outline is twice as far from the corner.
    view.ZoomIn();
    const QRect zoomed = (view.grab(), view.PictureRect(0));
    EXPECT_EQ(At(zoomed.topLeft() + QPoint(2 * 10 + 1, 2 * 50)), LiveView::kDetectorColour);
    // Pictures of another size than the project's get no detectors.
    view.SetDetectors(LiveOverlayOf(state, 1), 320, 240);
    EXPECT_EQ(At(zoomed.topLeft() + QPoint(2 * 10 + 1, 2 * 50)), qRgb(100, 100, 100));
}

TEST_F(LiveOverlayView, DoubleClickOnADetectorChoosesItElsewhereZooms) {
    RenderState state = RenderState::NewProject();
    Detector a(1, 1, 0, 0, 1, 320, 240);
    a.points = {{{40, 20}, {100, 20}, {100, 80}, {40, 80}}};
    state.detectors = {a};
    Camera(0, 320, 240);
    view.SetDetectors(LiveOverlayOf(state, -1), 320, 240);
    view.ShowDetectors(true);
    view.grab();
    int chosen = -1;
    QObject::connect(&view, &LiveView::DetectorChosen, [&](int i) { chosen = i; });
    DoubleClick(view, view.PictureRect(0).topLeft() + QPoint(60, 50));
    EXPECT_EQ(chosen, 0);
    EXPECT_EQ(core.ZoomCamera(), -1);
    DoubleClick(view, view.PictureRect(0).topLeft() + QPoint(200, 200));
    EXPECT_EQ(core.ZoomCamera(), 0);
    // The enlarged camera (magnification 2) gets its outlines at that scale.
    const QRect big = (view.grab(), view.PictureRect(0));
    ASSERT_EQ(big.width(), 640);
    EXPECT_EQ(view.grab().toImage().pixel(big.topLeft() + QPoint(2 * 40 + 1, 2 * 50)) | 0xFF000000u,
              LiveView::kDetectorColour);
    EXPECT_EQ(view.grab().toImage().pixel(big.topLeft() + QPoint(2 * 40 + 5, 2 * 50)) | 0xFF000000u,
              qRgb(100, 100, 100));
    // Hidden detectors cannot be chosen: the click zooms back.
    view.ShowDetectors(false);
    chosen = -1;
    DoubleClick(view, QPoint(1 + 60, 1 + 50));
    EXPECT_EQ(chosen, -1);
    EXPECT_EQ(core.ZoomCamera(), -1);
}

// The whole window on the sample project, its cameras fed with the
// project's own scenes, camera A moved.
class LiveSiteFrame : public FrameTest {
protected:
    void Feed(int dxA, int dyA, uint32_t seed) {
        LiveViewCore& core = frame->Devices().LiveCore();
        for (uint8_t camera = 0; camera < 4; ++camera) {
            PictureHeader header;
            header.camera = camera;
            header.width = 320;
            header.height = 240;
            core.OnFrameHeader(header);
            if (scenes[camera].Empty())
                scenes[camera] = CameraPictureOf(State(), camera); // the scene as the project was opened
            const Bitmap& seen = scenes[camera];
            const int dx = camera == 0 ? dxA : 0, dy = camera == 0 ? dyA : 0;
            Bitmap moved(320, 240);
            for (int y = 0; y < 240; ++y)
                for (int x = 0; x < 320; ++x) {
                    const int sx = std::clamp(x - dx, 0, 319), sy = std::clamp(y - dy, 0, 239);
                    const uint32_t c = seen.GetPixelColour(uint32_t(sx), uint32_t(sy));
                    moved.SetPixelColour(uint32_t(x), uint32_t(y), (x + y + int(seed)) % 97 ? c : 0x808080);
                }
            core.Deliver(camera, std::move(moved));
        }
    }
    // Three checks of every camera, each on a new picture a second apart.
    void WatchThreeTimes(int dxA, int dyA) {
        for (uint32_t round = 0; round < 3; ++round) {
            Feed(dxA, dyA, round);
            RunIdle(150);
            frame->LiveSite().Watch().CheckDue();
            std::this_thread::sleep_for(std::chrono::milliseconds(round < 2 ? 1050 : 0));
        }
        frame->LiveSite().Poll();
    }
    std::array<Bitmap, 4> scenes;
};

TEST_F(LiveSiteFrame, AMovedCameraIsNotedWarnedAndItsDetectorsFollowIt) {
    frame->OpenAtStart(KORVEX_SAMPLE_PROJECT);
    RunIdle();
    frame->Tabs().setCurrentIndex(0);
    WatchThreeTimes(7, 3);
    LiveView& live = frame->Tabs().Live();
    EXPECT_EQ(live.CameraNote(0), QStringLiteral("moved 7 px right, 3 px down"));
    for (unsigned i = 1; i < 4; ++i)
        EXPECT_TRUE(live.CameraNote(i).isEmpty()) << i;
    const QStringList lines = frame->Problems().Lines();
    EXPECT_TRUE(lines.contains(
        QStringLiteral("Warning: Camera A: moved 7 px right, 3 px down; its detectors may be off "
                       "their lanes.")))
        << lines.join('\n').toStdString();
    // A warning, not a problem: the upload is not refused for it.
    const bool problemsBefore = frame->Problems().HasProblems();
    frame->Problems().Rebuild(State());
    EXPECT_EQ(frame->Problems().HasProblems(), problemsBefore);
    EXPECT_EQ(frame->Problems().Lines().size(), lines.size());

    // Following the camera: card A's detectors move by (7, 3) as one step.
    const RenderState before = State();
    const size_t states = Doc().HistorySize();
    ASSERT_TRUE(frame->LiveSite().FollowCamera(0));
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    for (size_t i = 0; i < before.detectors.size(); ++i) {
        const Detector& was = before.detectors[i];
        const Point p0 = State().detectors[i].points[0];
        if (was.card == 0)
            EXPECT_EQ(p0, ClampToPicture(State(), {was.points[0].x + 7, was.points[0].y + 3}));
        else
            EXPECT_EQ(p0, was.points[0]);
    }
    EXPECT_TRUE(live.CameraNote(0).isEmpty());
    EXPECT_FALSE(frame->LiveSite().FollowCamera(0)); // nothing known to follow now
    RunIdle();
    // The background moved too, so the camera no longer looks moved.
    WatchThreeTimes(7, 3);
    EXPECT_TRUE(live.CameraNote(0).isEmpty());
    EXPECT_TRUE(frame->LiveSite().Warnings().isEmpty());
    ASSERT_TRUE(Undo(Doc()));
    EXPECT_EQ(State().detectors[0].points, before.detectors[0].points);
}

TEST_F(LiveSiteFrame, EachPictureIsNamedAndSaysWhyItCannotBeWatched) {
    frame->OpenAtStart(KORVEX_SAMPLE_PROJECT);
    RunIdle();
    LiveViewCore& core = frame->Devices().LiveCore();
    // Camera A sends pictures of its card's size, camera B of the other
    // size; camera C has sent nothing yet.
    for (const auto& [camera, width, height] : {std::tuple{0, 320, 240}, std::tuple{1, 180, 144}}) {
        PictureHeader header;
        header.camera = uint8_t(camera);
        header.width = uint16_t(width);
        header.height = uint16_t(height);
        core.OnFrameHeader(header);
        core.Deliver(unsigned(camera), Bitmap(uint32_t(width), uint32_t(height)));
    }
    frame->LiveSite().Poll();
    LiveView& live = frame->Tabs().Live();
    LiveSiteLink& site = frame->LiveSite();
    const QString differs = site.SizeDiffers(1);
    struct Case {
        const char* what;
        unsigned camera;
        QString name, note, whyNotFollow;
    };
    const Case cases[] = {
        {"a camera the check can watch", 0, QStringLiteral("Camera A (cam1)"), QString(),
         Text(text::onsite_follow_why_not_moved)},
        {"a camera of the other size", 1, QStringLiteral("Camera B (cam2)"), differs, differs},
        {"a camera without pictures", 2, QStringLiteral("Camera C (cam3)"), QString(),
         Text(text::onsite_follow_why_no_picture)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(live.CameraName(c.camera), c.name);
        EXPECT_EQ(live.CameraNote(c.camera), c.note);
        EXPECT_EQ(site.WhyNotFollow(int(c.camera), site.SizeDiffers(c.camera)), c.whyNotFollow);
    }
    EXPECT_TRUE(differs.contains(QStringLiteral("180 × 144")));
    EXPECT_TRUE(differs.contains(QStringLiteral("320 × 240")));
    EXPECT_EQ(site.WatchableCamera(), 0);
}

TEST_F(LiveSiteFrame, TheToggleIsRememberedAndADoubleClickChoosesTheDetectorInTheEditor) {
    frame->OpenAtStart(KORVEX_SAMPLE_PROJECT);
    RunIdle();
    frame->Tabs().setCurrentIndex(0);
    QAction* toggle = frame->Action(CmdLiveDetectors);
    ASSERT_NE(toggle, nullptr);
    const bool was = toggle->isChecked();
    toggle->trigger();
    EXPECT_NE(frame->Tabs().Live().ShowingDetectors(), was);
    if (!frame->Tabs().Live().ShowingDetectors())
        toggle->trigger();
    ASSERT_TRUE(frame->Tabs().Live().ShowingDetectors());
    // A window opened later starts with them shown.
    {
        FrameOptions options;
        options.prompter = &prompts;
        options.startWorkers = false;
        MainFrame second(options);
        EXPECT_TRUE(second.Action(CmdLiveDetectors)->isChecked());
        EXPECT_TRUE(second.Tabs().Live().ShowingDetectors());
    }
    // Double click inside card B's first detector on the live page.
    Feed(0, 0, 1);
    RunIdle(150);
    LiveView& live = frame->Tabs().Live();
    live.grab();
    int index = -1;
    for (size_t i = 0; i < State().detectors.size() && index < 0; ++i)
        if (State().detectors[i].card == 1 && !State().detectors[i].IsLine())
            index = int(i);
    ASSERT_GE(index, 0);
    const auto& pts = State().detectors[size_t(index)].points;
    const QPoint inside((pts[0].x + pts[1].x + pts[2].x + pts[3].x) / 4,
                        (pts[0].y + pts[1].y + pts[2].y + pts[3].y) / 4);
    DoubleClick(live, live.PictureRect(1).topLeft() + inside);
    RunIdle();
    EXPECT_EQ(Doc().SelectedIndex(), index);
    EXPECT_EQ(View().ActiveCard(), 1);
    EXPECT_EQ(frame->Devices().LiveCore().ZoomCamera(), -1);
    toggle->trigger(); // leave the setting as tests expect it
}

} // namespace
} // namespace korvex::test
