// The live page widget over its core: layout sizes, painting from the
// slots, pacing seen through the widget, and requests from the live thread
// reaching the widget only through the UI thread.
#include "AppTestSupport.h"
#include "app/live/LiveView.h"
#include "app/sinks/LiveForwarders.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QTest>
#include <thread>

namespace korvex::test {
namespace {

class LivePageTest : public ::testing::Test {
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

    void Header(uint8_t camera, uint16_t w = 320, uint16_t h = 240) {
        PictureHeader header;
        header.camera = camera;
        header.width = w;
        header.height = h;
        core.OnFrameHeader(header);
    }
    // A picture of one colour (red, green, blue bytes given as 0xRRGGBB).
    static Bitmap Plain(uint32_t rgb, uint32_t w = 320, uint32_t h = 240) {
        Bitmap b(w, h);
        uint8_t* p = b.Data().data();
        for (uint32_t i = 0; i < w * h; ++i, p += 3) {
            p[0] = uint8_t(rgb);       // blue
            p[1] = uint8_t(rgb >> 8);  // green
            p[2] = uint8_t(rgb >> 16); // red
        }
        return b;
    }
    QImage Shot() { return view.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    static uint32_t Rgb(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }
    // One double click, delivered straight to the view (the platform would
    // turn quick successive clicks into further double clicks).
    void DoubleClick(int x, int y) {
        const QPointF at(x, y);
        QMouseEvent e(QEvent::MouseButtonDblClick, at, view.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(&view, &e);
    }

    uint64_t now = 1000000;
    LiveViewForwarder sink;
    LiveViewCore core{sink, [this] { return now; }};
    LiveView view;
};

TEST_F(LivePageTest, CellAndZoomLayoutSizes) {
    Header(3);
    // Two cells per row, two rows.
    EXPECT_EQ(view.size(), QSize(2 * 320 + 32, (240 + 16) * 2));
    view.ZoomIn();
    EXPECT_EQ(view.size(), QSize(2 * 2 * 320 + 32, (2 * 240 + 16) * 2));
    // Double click on camera 1 at scale 2: that camera alone, magnified 4.
    const CellGeometry cell1 = LiveViewCore::Cell(core.Layout(), 1);
    DoubleClick(cell1.x + 10, cell1.y + 10);
    EXPECT_EQ(core.ZoomCamera(), 1);
    EXPECT_EQ(view.size(), QSize(2 * 2 * 320 + 16, 2 * 2 * 240 + 16));
    // Anywhere else: back to the two columns.
    DoubleClick(5, 5);
    EXPECT_EQ(core.ZoomCamera(), -1);
    EXPECT_EQ(view.size(), QSize(2 * 2 * 320 + 32, (2 * 240 + 16) * 2));
    // Outside every cell: no zoom, only a re-layout.
    DoubleClick(1 + 2 * 320 + 8, 5); // the gap between the columns
    EXPECT_EQ(core.ZoomCamera(), -1);
    // The zoom limits change nothing.
    for (int i = 0; i < 8; ++i)
        view.ZoomIn();
    EXPECT_EQ(core.Layout().scale, 6);
    for (int i = 0; i < 8; ++i)
        view.ZoomOut();
    EXPECT_EQ(core.Layout().scale, 1);
    EXPECT_EQ(view.size(), QSize(2 * 320 + 32, (240 + 16) * 2));
}

TEST_F(LivePageTest, PaintsEachCameraInItsCellWithShadowAndFrame) {
    Header(1);
    core.Deliver(0, Plain(0x102030));
    core.Deliver(1, Plain(0xC04080));
    QImage shot = Shot();
    EXPECT_EQ(Rgb(shot, 1, 1), 0x102030u);
    EXPECT_EQ(Rgb(shot, 320, 240), 0x102030u);
    const int x1 = 320 + 17;
    EXPECT_EQ(Rgb(shot, x1, 1), 0xC04080u);
    EXPECT_EQ(Rgb(shot, x1 + 319, 240), 0xC04080u);
    // Shadow right of and below camera 0, the frame just outside it.
    EXPECT_EQ(Rgb(shot, 1 + 320 + 2, 1 + 10), 0xE6E6E6u);
    EXPECT_EQ(Rgb(shot, 1 + 10, 1 + 240 + 2), 0xE6E6E6u);
    EXPECT_EQ(Rgb(shot, 1 + 320 + 2, 1 + 2), 0xFFFFFFu); // shadow starts 4 below the top
    EXPECT_EQ(Rgb(shot, 0, 0), uint32_t(view.palette().color(QPalette::Dark).rgb() & 0xFFFFFF));
}

TEST_F(LivePageTest, ZoomedCameraIsMagnifiedByNearestNeighbour) {
    Header(1);
    // A one-pixel checker on camera 1.
    Bitmap checker(320, 240);
    for (uint32_t y = 0; y < 240; ++y)
        for (uint32_t x = 0; x < 320; ++x)
            checker.SetPixelColour(x, y, (x + y) % 2 ? 0xFFFFFF : 0x000000);
    core.Deliver(1, std::move(checker));
    const CellGeometry cell1 = LiveViewCore::Cell(core.Layout(), 1);
    DoubleClick(cell1.x + 3, cell1.y + 3);
    ASSERT_EQ(core.ZoomCamera(), 1);
    QImage shot = Shot();
    // Magnification 2: each source pixel is a clean 2 x 2 block, no blend.
    for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
            const uint32_t want = (sx + sy) % 2 ? 0xFFFFFF : 0x000000;
            for (int d = 0; d < 4; ++d)
                ASSERT_EQ(Rgb(shot, 1 + 2 * sx + d % 2, 1 + 2 * sy + d / 2), want) << sx << "," << sy;
        }
}

TEST_F(LivePageTest, SmallerCameraSitsInTheMiddleOfItsCell) {
    Header(0);
    Header(1, 180, 144);
    Header(2);
    core.Deliver(1, Plain(0x00FF00, 180, 144));
    QImage shot = Shot();
    const int x1 = 320 + 17, dx = (320 - 180) / 2, dy = (240 - 144) / 2;
    EXPECT_EQ(Rgb(shot, x1 + dx, 1 + dy), 0x00FF00u);
    EXPECT_EQ(Rgb(shot, x1 + dx + 179, 1 + dy + 143), 0x00FF00u);
    EXPECT_EQ(Rgb(shot, x1 + dx - 5, 1 + dy + 5), 0xFFFFFFu);
}

TEST_F(LivePageTest, PacingIsVisibleThroughTheWidget) {
    Header(0);
    core.Deliver(0, Plain(0x111111));
    now += 30;
    core.Deliver(0, Plain(0x222222));
    // The second picture waits for the timer 100 ms after the first.
    QTest::qWait(3 * LiveView::kTimerPeriod_ms);
    EXPECT_EQ(Rgb(Shot(), 5, 5), 0x111111u);
    now += 70;
    EXPECT_TRUE(
        WaitUntil([&] { return Rgb(Shot(), 5, 5) == 0x222222u; }, std::chrono::seconds(10), ProcessEvents));
    EXPECT_EQ(core.PendingCount(0), 0u);
}

TEST_F(LivePageTest, WorkerRequestsReachTheWidgetOnlyThroughTheUiThread) {
    const QSize before = view.size();
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            PictureHeader header;
            header.camera = 2;
            header.width = 180;
            header.height = 144;
            core.OnFrameHeader(header);
            core.Deliver(2, Plain(0x445566, 180, 144));
            core.RequestRepaint();
        }
    });
    worker.join();
    // Nothing has touched the widget from the worker.
    EXPECT_EQ(view.size(), before);
    // Fifty rounds of requests became a handful of queued calls.
    EXPECT_LE(sink.Posted(), 4u);
    EXPECT_TRUE(WaitUntil([&] { return view.size() == QSize(2 * 180 + 32, (144 + 16) * 2); },
                          std::chrono::seconds(10), ProcessEvents));
    EXPECT_EQ(Rgb(Shot(), 5, 144 + 16 + 5), 0x445566u); // camera 2: first column, second row
}

} // namespace
} // namespace korvex::test
