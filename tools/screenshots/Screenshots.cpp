// Starts the Korvex window with a sample project (four camera cards, several
// detectors of every kind, background pictures), walks through a few
// typical moments and saves a PNG picture of the screen for each.
// korvex_screenshots <output folder> [<sample folder>]
// Meant to run under a virtual X server (scripts/screenshot.sh).
#include "ShotTools.h"
#include "app/common/Commands.h"
#include "app/demo/DemoDevice.h"
#include "app/device/OptionMaskDialog.h"
#include "app/editor/CornerFields.h"
#include "app/editor/Inspector.h"
#include "app/editor/MainView.h"
#include "app/frame/MainFrame.h"
#include "app/frame/TabView.h"
#include "app/live/LiveView.h"
#include "app/session/DeviceSession.h"
#include "app/tuning/TuningFrame.h"
#include "app/widgets/PaneDock.h"
#include "app/widgets/ScrollView.h"
#include "composer/Formula.h"
#include "files/ProjectFile.h"
#include "image/Bitmap.h"
#include "model/DetectorEdits.h"
#include "model/Document.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

using namespace korvex;
using namespace korvex::shots;

namespace {

// The frame's part of the screen; the floating panes sit inside it.
bool Shoot(const QString& path, const QWidget& frame) {
    Settle();
    QRect r = frame.frameGeometry();
    return ShootScreen(path, r);
}

// Camera-like scenes, drawn so that the sample needs no outside pictures.
QImage Scene(int kind) {
    QImage image(320, 240, QImage::Format_RGB888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 100);
    sky.setColorAt(0, QColor(150, 170, 190));
    sky.setColorAt(1, QColor(205, 212, 218));
    p.fillRect(0, 0, 320, 100, sky);
    p.fillRect(0, 100, 320, 140, QColor(96, 104, 96));
    switch (kind) {
    case 0: { // a road towards the horizon
        p.setBrush(QColor(70, 72, 76));
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygon({{140, 100}, {180, 100}, {300, 240}, {20, 240}}));
        p.setPen(QPen(QColor(235, 235, 225), 3, Qt::DashLine));
        p.drawLine(160, 104, 160, 240);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(150, 40, 40));
        p.drawRoundedRect(QRectF(178, 150, 46, 30), 5, 5);
        p.setBrush(QColor(40, 40, 45));
        p.drawRect(QRectF(182, 176, 10, 8));
        p.drawRect(QRectF(210, 176, 10, 8));
        break;
    }
    case 1: { // a gate with a barrier
        p.fillRect(0, 100, 320, 140, QColor(80, 82, 84));
        p.fillRect(40, 40, 30, 170, QColor(170, 170, 160));
        p.fillRect(250, 40, 30, 170, QColor(170, 170, 160));
        p.fillRect(70, 60, 180, 14, QColor(120, 110, 100));
        p.setPen(QPen(QColor(230, 200, 40), 6));
        p.drawLine(70, 150, 250, 150);
        p.setPen(QPen(QColor(230, 230, 230), 2));
        for (int x = 20; x < 320; x += 40)
            p.drawLine(x, 225, x + 20, 225);
        break;
    }
    case 2: { // a pedestrian crossing
        p.fillRect(0, 100, 320, 140, QColor(66, 68, 72));
        p.setBrush(QColor(225, 225, 220));
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 7; ++i)
            p.drawPolygon(
                QPolygon({{40 + i * 36, 130}, {60 + i * 36, 130}, {52 + i * 38, 210}, {28 + i * 38, 210}}));
        p.setBrush(QColor(50, 90, 60));
        p.drawEllipse(QRectF(270, 60, 40, 50));
        break;
    }
    default: { // a tunnel mouth
        p.fillRect(0, 0, 320, 240, QColor(120, 118, 112));
        p.setBrush(QColor(28, 28, 32));
        p.setPen(Qt::NoPen);
        p.drawChord(QRectF(50, 40, 220, 260), 0, 180 * 16);
        p.fillRect(50, 170, 220, 70, QColor(28, 28, 32));
        p.setBrush(QColor(60, 62, 66));
        p.drawPolygon(QPolygon({{130, 170}, {190, 170}, {280, 240}, {40, 240}}));
        p.setBrush(QColor(255, 220, 120));
        for (int x = 80; x < 260; x += 30)
            p.drawEllipse(QPointF(x, 60 + (x - 160) * (x - 160) / 160.0), 3, 3);
        break;
    }
    }
    p.end();
    return image;
}

Bitmap ToBitmap(const QImage& image) {
    QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    Bitmap b(static_cast<uint32_t>(bgr.width()), static_cast<uint32_t>(bgr.height()));
    for (int y = 0; y < bgr.height(); ++y)
        std::copy_n(bgr.constScanLine(y), size_t(bgr.width()) * 3, b.Row(static_cast<uint32_t>(y)));
    return b;
}

Detector Make(uint32_t card, uint32_t number, std::array<Point, 4> pts, uint32_t divisions, uint32_t pen,
              int fill) {
    Detector d(divisions, pen, 0, card, number, 320, 240);
    d.points = pts;
    d.fill = fill;
    return d;
}

void BuildSample(Document& document) {
    RenderState s = document.Current();
    for (int i = 0; i < 4; ++i)
        s.backgrounds[static_cast<size_t>(i)] = ToBitmap(Scene(i));
    // Card A: a road with lane detectors, one of them directional.
    s.detectors.push_back(Make(0, 1, {{{62, 200}, {150, 200}, {150, 232}, {40, 232}}}, 2, 1, 0));
    s.detectors.push_back(Make(0, 2, {{{172, 200}, {262, 200}, {284, 232}, {172, 232}}}, 2, 1, 0));
    Detector dir = Make(0, 3, {{{165, 130}, {205, 130}, {222, 170}, {168, 170}}}, 0, 2, 20);
    dir.directional = true;
    dir.angle = 0;
    s.detectors.push_back(dir);
    Detector line(1, 2, 1, 0, 4, 320, 240);
    line.points = {{{30, 120}, {300, 120}, {0, 0}, {0, 0}}};
    s.detectors.push_back(line);
    // Card B: the gate.
    Detector barrier = Make(1, 1, {{{80, 120}, {240, 120}, {240, 180}, {80, 180}}}, 4, 1, 0);
    barrier.contrast = true;
    s.detectors.push_back(barrier);
    s.detectors.push_back(Make(1, 2, {{{90, 196}, {230, 196}, {236, 230}, {84, 230}}}, 0, 1, 100));
    // Card C: the crossing, with a directional detector pointing right.
    Detector walk = Make(2, 1, {{{40, 132}, {290, 132}, {300, 206}, {28, 206}}}, 6, 1, 0);
    s.detectors.push_back(walk);
    Detector right = Make(2, 2, {{{120, 214}, {200, 214}, {204, 236}, {116, 236}}}, 0, 1, 20);
    right.directional = true;
    right.angle = 90;
    s.detectors.push_back(right);
    // Card D: the tunnel, its mouth and the exit line.
    s.detectors.push_back(Make(3, 1, {{{130, 172}, {190, 172}, {236, 210}, {84, 210}}}, 1, 3, 0));
    s.detectors.push_back(Make(3, 2, {{{84, 214}, {236, 214}, {270, 238}, {50, 238}}}, 3, 1, 0));
    Detector exit(1, 1, 1, 3, 3, 320, 240);
    exit.points = {{{60, 60}, {260, 60}, {0, 0}, {0, 0}}};
    s.detectors.push_back(exit);
    document.NewRenderState(std::move(s), Selection{});
    // Outputs: a vehicle in either lane, one coming the wrong way past the
    // line, the gate, the crossing, the tunnel, and any camera gone blurred.
    const std::pair<const char*, const char*> outputs[] = {
        {"Y1", "A1 | A2"}, {"Y2", "A3 & A4"},      {"Y3", "B1 | B2"},
        {"Y4", "C1 & C2"}, {"Y5", "D1 | D2 | D3"}, {"Y6", "Ablur | Bblur | Cblur | Dblur"}};
    for (const auto& [row, formula] : outputs)
        if (SetRowFormula(document, *ParseRowName(document.Current(), row), formula))
            std::fprintf(stderr, "sample: cannot set %s = %s\n", row, formula);
}

// The view point over canvas point (x, y) of a 320-wide card.
QPoint CanvasPoint(MainView& view, int card, int x, int y) {
    ViewGeometry g = view.Geometry();
    Rect r = g.CardArea(card);
    return QPoint(r.left + x * g.Zoom(), r.top + y * g.Zoom());
}

void Click(QWidget* w, QPoint p, Qt::MouseButton button = Qt::LeftButton) {
    QPointF local(p), global(w->mapToGlobal(p));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, button, button, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

// Snapping, corner numbers and the corner fields: card A at zoom 3, the lane
// detector A1's corner 2 dragged next to A2's corner 1.
bool ShootEditingTools(const QString& out, MainFrame& frame) {
    MainView& view = frame.View();
    frame.OnCommand(CmdModeReshape);
    frame.OnCommand(CmdZoomIn);
    frame.OnCommand(CmdZoomIn);
    Settle();
    QPoint body = CanvasPoint(view, 0, 100, 215);
    frame.Tabs().Scroll().ensureVisible(CanvasPoint(view, 0, 160, 200).x(),
                                        CanvasPoint(view, 0, 160, 200).y(), 420, 200);
    Settle();
    Click(&view, body); // selects A1
    Settle();
    bool ok = Shoot(out + QStringLiteral("/corner-numbers.png"), frame);

    QPoint from = CanvasPoint(view, 0, 150, 200), to = CanvasPoint(view, 0, 171, 201);
    QPointF gf(view.mapToGlobal(from)), gt(view.mapToGlobal(to));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(from), gf, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), gt, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    ok &= Shoot(out + QStringLiteral("/snapping.png"), frame);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(to), gt, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&view, &release);
    Settle();

    // A value outside the picture typed into corner 4's X: refused and marked.
    QLineEdit* x = frame.GetInspector().Corners().Field(3, 0);
    x->setFocus();
    x->selectAll();
    x->insert(QStringLiteral("400"));
    x->setModified(true);
    Q_EMIT x->editingFinished();
    Settle();
    QWidget& pane = frame.InspectorPane();
    if (!SavePng(pane.grab(), out + QStringLiteral("/corner-fields.png")))
        return false;
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc < 2) {
        std::fprintf(stderr, "usage: korvex_screenshots <output folder> [<sample folder>]\n");
        return 2;
    }
    const QString out = StartShots(argv[1]);

    // The workers run: the demo device plays on the live page.
    FrameOptions options;
    options.startWorkers = true;
    options.makeDemo = [] { return std::make_unique<DemoDevice>(); };
    MainFrame frame(options);
    frame.move(0, 0);
    frame.Create();
    MainView& view = frame.View();
    BuildSample(view.GetDocument());
    if (argc >= 3) {
        QString sample = QString::fromLocal8Bit(argv[2]);
        QDir().mkpath(sample);
        SaveProject(view.GetDocument(), (sample + QStringLiteral("/sample.kvx")).toStdString());
        // A background picture of the kind users load.
        Scene(1).convertToFormat(QImage::Format_RGB888).save(sample + QStringLiteral("/gate.bmp"), "BMP");
    }
    // The saved sample lends its cards to the demo's scenes.
    frame.StartDemo(false);
    frame.View().GetDocument().Announce(DocumentChange::Content | DocumentChange::Layout |
                                        DocumentChange::Selection);

    bool ok = true;
    // The editor: four cards, the inspector, the problems list.
    frame.Tabs().setCurrentIndex(1);
    Settle();
    Click(&view, CanvasPoint(view, 0, 190, 150)); // the directional detector on card A
    ok &= Shoot(out + QStringLiteral("/editor.png"), frame);

    // Zoomed in on card C, aiming its directional detector.
    frame.OnCommand(CmdZoomIn);
    frame.OnCommand(CmdZoomIn);
    Settle();
    QPoint start = CanvasPoint(view, 2, 160, 225);
    frame.Tabs().Scroll().ensureVisible(start.x(), start.y(), 420, 260);
    Settle();
    Click(&view, start); // picks the detector under the point on card C
    frame.OnCommand(CmdModeAim);
    QPoint end(start + QPoint(150, -60));
    QPointF gs(view.mapToGlobal(start)), ge(view.mapToGlobal(end));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(start), gs, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(end), ge, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    ok &= Shoot(out + QStringLiteral("/aiming.png"), frame);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(end), ge, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&view, &release);

    // Back to the overview with the Detector menu open.
    frame.OnCommand(CmdModeReshape);
    frame.OnCommand(CmdZoomOut);
    frame.OnCommand(CmdZoomOut);
    Settle();
    Click(&view, CanvasPoint(view, 0, 100, 215)); // the lane detector on card A
    Settle();
    QMenu* detectorMenu = nullptr;
    for (QAction* a : frame.menuBar()->actions())
        if (a->menu() && a->menu()->actions().contains(frame.Action(CmdModeReshape)))
            detectorMenu = a->menu();
    if (detectorMenu) {
        frame.menuBar()->setActiveAction(detectorMenu->menuAction());
        ok &= Shoot(out + QStringLiteral("/detector-menu.png"), frame);
        detectorMenu->close();
    }
    ok &= ShootEditingTools(out, frame);

    // Back to the whole editor at zoom 1 for the live page's pictures.
    frame.Tabs().setCurrentIndex(1);
    frame.OnCommand(CmdModeReshape);
    for (int i = 0; i < 6; ++i)
        frame.OnCommand(CmdZoomOut);
    Settle();

    // The live page: the demo device's four cameras (grey 320 x 240, grey
    // 180 x 144, 16-bit colour, H.264) and the device list.
    frame.Tabs().setCurrentIndex(0);
    LiveViewCore& live = frame.Devices().LiveCore();
    QElapsedTimer waited;
    waited.start();
    while (live.Layout().cameraCount < 4 && waited.elapsed() < 15000)
        Settle(100);
    Settle(1500);
    ok &= Shoot(out + QStringLiteral("/live-page.png"), frame);
    // One camera zoomed by a double click (the H.264 one).
    const CellGeometry cell = LiveViewCore::Cell(live.Layout(), 3);
    live.OnDoubleClick(cell.x + 20, cell.y + 20);
    Settle(800);
    ok &= Shoot(out + QStringLiteral("/live-zoomed.png"), frame);
    live.OnDoubleClick(5, 5);

    // The tuning window with the trace of card A's detector 3.
    frame.Tabs().setCurrentIndex(1);
    Settle();
    Click(&view, CanvasPoint(view, 0, 190, 150));
    frame.OnCommand(CmdToggleTuning);
    waited.restart();
    TuningFrame& tuning = frame.Tuning();
    // A trace of a few hundred pictures of the road.
    while (tuning.View().Curve().Total() < 300 && waited.elapsed() < 60000)
        Settle(100);
    // Thresholds between the empty road and a vehicle, as a click there
    // would set them.
    SetThresholds(view.GetDocument(), 100, tuning.View().Curve().Total() * 3 / 4);
    Settle();
    const QRect area = tuning.View().contentsRect();
    QPoint over = area.topLeft() + QPoint(area.width() * 3 / 5, area.height() / 3);
    QMouseEvent hover(QEvent::MouseMove, QPointF(over), QPointF(tuning.View().mapToGlobal(over)),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&tuning.View(), &hover);
    ok &= Shoot(out + QStringLiteral("/tuning.png"), frame);
    frame.OnCommand(CmdToggleTuning);

    // The option-mask dialog with a few bits set, over the live page.
    frame.Tabs().setCurrentIndex(0);
    Settle();
    {
        OptionMaskDialog dialog(frame.Devices().OptionMask(), &frame);
        dialog.show();
        Settle();
        for (int id : {1048, 1051, 1059, 1070})
            dialog.Box(id)->click();
        QRect r = dialog.frameGeometry();
        dialog.move(frame.frameGeometry().center() - QPoint(r.width() / 2, r.height() / 2));
        ok &= Shoot(out + QStringLiteral("/option-mask.png"), frame);
        dialog.reject();
    }
    frame.StopThreads();
    return ok ? 0 : 1;
}
