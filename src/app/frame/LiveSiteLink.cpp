#include "app/frame/LiveSiteLink.h"

#include "app/common/AppSettings.h"
#include "app/common/UiText.h"
#include "app/editor/MainView.h"
#include "app/editor/ProblemsView.h"
#include "app/live/LiveView.h"
#include "framework/TextIds.h"
#include "model/CameraFollow.h"
#include "model/LiveOverlay.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QSettings>

namespace korvex {

namespace {

const QString kShowDetectorsKey = QStringLiteral("live/showDetectors");

// The toolbar picture of the toggle: a detector outline over a picture.
QIcon DetectorsIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(QColor(96, 96, 96));
    QPainter p(&pixmap);
    p.setPen(QPen(QColor(LiveView::kDetectorColour), 2));
    const QPoint quad[4] = {{3, 4}, {12, 3}, {13, 12}, {2, 12}};
    p.drawPolygon(quad, 4);
    return QIcon(pixmap);
}

QString Part(unsigned id, int32_t value) {
    return QString::fromStdString(FillText(Text(id).toStdString(), {std::to_string(value)}));
}

} // namespace

QString MovedText(int32_t dx, int32_t dy) {
    QStringList parts;
    if (dx != 0)
        parts << Part(dx > 0 ? text::live_moved_right : text::live_moved_left, std::abs(dx));
    if (dy != 0)
        parts << Part(dy > 0 ? text::live_moved_down : text::live_moved_up, std::abs(dy));
    return QString::fromStdString(FillText(Text(text::live_moved_note).toStdString(),
                                           {parts.join(QStringLiteral(", ")).toStdString()}));
}

LiveSiteLink::LiveSiteLink(LiveView& live, LiveViewCore& core, MainView& view, ProblemsView& problems,
                           QAction& toggle, QAction& follow, QObject* parent)
    : QObject(parent), live(live), core(core), view(view), problems(problems), toggle(toggle), follow(follow),
      watch(std::make_unique<CameraWatch>(core)) {
    toggle.setCheckable(true);
    toggle.setIcon(DetectorsIcon());
    toggle.setToolTip(Text(text::live_detectors_tip));
    connect(&toggle, &QAction::toggled, this, [this](bool on) { ShowDetectors(on); });
    toggle.setChecked(OpenAppSettings()->value(kShowDetectorsKey, false).toBool());
    live.ShowDetectors(toggle.isChecked());
    connect(&live, &LiveView::DetectorChosen, this, [this](int index) { this->view.ChooseDetector(index); });
    menu = new QMenu(&live);
    menu->addAction(&follow);
    menu->addSeparator();
    menu->addAction(&toggle);
    connect(&live, &LiveView::CameraMenuRequested, this, &LiveSiteLink::ShowMenu);
    connect(&poll, &QTimer::timeout, this, &LiveSiteLink::Poll);
    poll.start(500);
    ProjectChanged();
}

LiveSiteLink::~LiveSiteLink() {
    StopWatch();
}

void LiveSiteLink::StartWatch() {
    watch->Start();
}

void LiveSiteLink::StopWatch() {
    watch->Stop();
}

void LiveSiteLink::ShowDetectors(bool on) {
    if (toggle.isChecked() != on)
        toggle.setChecked(on); // comes back here through toggled
    live.ShowDetectors(on);
    OpenAppSettings()->setValue(kShowDetectorsKey, on);
}

void LiveSiteLink::ProjectChanged(bool content) {
    const RenderState& state = view.State();
    live.SetDetectors(LiveOverlayOf(state, view.GetDocument().SelectedIndex()), state.width, state.height);
    if (!content)
        return;
    watch->SetProject(state);
}

void LiveSiteLink::Poll() {
    drifts = watch->Drifts();
    QStringList now;
    for (unsigned i = 0; i < kCameraSlots; ++i) {
        const bool moved = drifts[i].Moved() && i < core.Layout().cameraCount;
        const QString note = moved ? MovedText(drifts[i].estimate.dx, drifts[i].estimate.dy) : QString();
        live.SetCameraNote(i, note);
        if (moved)
            now << QString::fromStdString(FillText(Text(text::live_camera_moved).toStdString(),
                                                   {std::string(1, char('A' + i)), note.toStdString()}));
    }
    if (now != warnings) {
        warnings = now;
        problems.SetWarnings(warnings);
    }
}

bool LiveSiteLink::MovedBy(unsigned camera, int32_t& dx, int32_t& dy) const {
    if (camera >= kCameraSlots || !drifts[camera].Moved())
        return false;
    dx = drifts[camera].estimate.dx;
    dy = drifts[camera].estimate.dy;
    return true;
}

bool LiveSiteLink::FollowCamera(unsigned camera) {
    int32_t dx = 0, dy = 0;
    if (!MovedBy(camera, dx, dy))
        return false;
    Bitmap seen;
    core.WithPicture(camera, [&](const Bitmap& picture) { seen = picture; });
    if (!korvex::FollowCamera(view.GetDocument(), camera, dx, dy, seen))
        return false;
    view.update();
    // The background now shows the scene as the camera sees it: the note
    // goes until the watch sees a movement again.
    drifts[camera] = {};
    live.SetCameraNote(camera, QString());
    return true;
}

void LiveSiteLink::ShowMenu(int camera, const QPoint& globalPos) {
    menuCamera = camera;
    int32_t dx = 0, dy = 0;
    follow.setEnabled(camera >= 0 && MovedBy(unsigned(camera), dx, dy));
    menu->popup(globalPos);
}

} // namespace korvex
