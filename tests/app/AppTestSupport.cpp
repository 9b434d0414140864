#include "AppTestSupport.h"

#include "app/frame/TabView.h"
#include "model/DetectorTools.h"

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

namespace korvex::test {

void EnsureApplication() {
    if (QApplication::instance())
        return;
    // The widgets need no display: the offscreen platform unless the
    // environment asks for another.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    (void)app;
}

void ProcessEvents() {
    QTest::qWait(10);
}

QString ShownTitle(const QWidget& window) {
    QString title = window.windowTitle();
    return title.replace(QStringLiteral("[*]"), window.isWindowModified() ? QStringLiteral("*") : QString());
}

void RunIdle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void FrameTest::SetUp() {
    FrameOptions options;
    options.prompter = &prompts;
    options.startWorkers = false;
    frame = std::make_unique<MainFrame>(options);
    frame->Create();
    frame->Tabs().setCurrentIndex(1);
    frame->activateWindow();
    QApplication::setActiveWindow(frame.get());
    RunIdle();
}

void FrameTest::TearDown() {
    frame.reset();
}

QPoint FrameTest::At(int card, int x, int y) {
    ViewGeometry g = View().Geometry();
    Rect r = g.CardArea(card);
    int z = g.Zoom();
    int offset = State().width == 180 ? 30 : 0;
    return QPoint(r.left + (x - offset) * z, r.top + y * z);
}

int FrameTest::AddQuad(int card, std::array<Point, 4> points, uint32_t number) {
    RenderState s = Doc().Current();
    Detector d(0, 1, 0, static_cast<uint32_t>(card),
               number ? number : NextDetectorNumber(s, static_cast<uint32_t>(card)), s.CanvasWidth(),
               s.CanvasHeight());
    d.points = points;
    s.detectors.push_back(d);
    const int index = static_cast<int>(s.detectors.size()) - 1;
    Doc().NewRenderState(std::move(s));
    return index;
}

void FrameTest::Press(QPoint p) {
    QTest::mousePress(&View(), Qt::LeftButton, Qt::NoModifier, p);
}
void FrameTest::MoveTo(QPoint p) {
    QTest::mouseMove(&View(), p);
}
void FrameTest::Release(QPoint p) {
    QTest::mouseRelease(&View(), Qt::LeftButton, Qt::NoModifier, p);
}
void FrameTest::Click(QPoint p) {
    Press(p);
    Release(p);
}
void FrameTest::Drag(QPoint from, QPoint to) {
    Press(from);
    MoveTo((from + to) / 2);
    MoveTo(to);
    Release(to);
}

} // namespace korvex::test
