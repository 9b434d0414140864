#include "app/frame/LiveSiteLink.h"

#include "app/common/AppSettings.h"
#include "app/common/Commands.h"
#include "app/common/UiText.h"
#include "app/editor/MainView.h"
#include "app/editor/ProblemsView.h"
#include "app/live/LiveView.h"
#include "framework/TextIds.h"
#include "model/CameraFollow.h"
#include "model/DetectorNames.h"
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
    // A greyed item says in its tooltip why it is greyed.
    menu->setToolTipsVisible(true);
    menu->addAction(&follow);
    convert = menu->addAction(QString());
    connect(convert, &QAction::triggered, this,
            [this] { this->view.Command(convertTo == 180 ? CmdConvertTo180 : CmdConvertTo320); });
    menu->addSeparator();
    menu->addAction(&toggle);
    for (unsigned i = 0; i < kCameraSlots; ++i)
        live.SetCameraName(i, CameraName(i));
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

QString LiveSiteLink::SizeDiffers(unsigned camera, uint32_t* pictureWidth) const {
    const RenderState& state = view.State();
    uint32_t w = 0, h = 0;
    core.WithPicture(camera, [&](const Bitmap& picture) {
        w = picture.Width();
        h = picture.Height();
    });
    if (pictureWidth)
        *pictureWidth = w;
    if (w == 0 || h == 0 || (w == state.width && h == state.height))
        return {};
    auto size = [](uint32_t x, uint32_t y) { return std::to_string(x) + " × " + std::to_string(y); };
    return QString::fromStdString(
        FillText(Text(text::onsite_size_differs).toStdString(),
                 {CardName(camera), size(w, h), CardName(camera), size(state.width, state.height)}));
}

void LiveSiteLink::Poll() {
    drifts = watch->Drifts();
    QStringList now;
    for (unsigned i = 0; i < kCameraSlots; ++i) {
        const bool moved = drifts[i].Moved() && i < core.Layout().cameraCount;
        // A camera of another picture size than its card cannot be watched:
        // its note says so instead.
        const QString note = moved ? MovedText(drifts[i].estimate.dx, drifts[i].estimate.dy)
                                   : (i < core.Layout().cameraCount ? SizeDiffers(i) : QString());
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

int LiveSiteLink::WatchableCamera() const {
    // A camera whose pictures have the size its card is drawn for, with a
    // background to compare them with: the check can tell how it moved.
    const RenderState& state = view.State();
    const unsigned count = std::min<unsigned>(core.Layout().cameraCount, kCameraSlots);
    for (unsigned camera = 0; camera < count; ++camera) {
        bool sameSize = false;
        core.WithPicture(camera, [&](const Bitmap& picture) {
            sameSize = !picture.Empty() && picture.Width() == state.width && picture.Height() == state.height;
        });
        if (sameSize && camera < state.backgrounds.size() && !state.backgrounds[camera].Empty())
            return int(camera);
    }
    return -1;
}

QString CameraName(unsigned camera) {
    return QString::fromStdString(FillText(Text(text::onsite_camera_name).toStdString(),
                                           {CardName(camera), std::to_string(camera + 1)}));
}

bool LiveSiteLink::FollowCamera(unsigned camera, QString* done) {
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
    if (done)
        *done = QString::fromStdString(FillText(Text(text::onsite_follow_done).toStdString(),
                                                {CardName(camera), MovedText(dx, dy).toStdString()}));
    return true;
}

void LiveSiteLink::ShowMenu(int camera, const QPoint& globalPos) {
    menuCamera = camera;
    int32_t dx = 0, dy = 0;
    const bool moved = camera >= 0 && MovedBy(unsigned(camera), dx, dy);
    follow.setEnabled(moved);
    uint32_t pictureWidth = 0;
    const QString differs = camera >= 0 ? SizeDiffers(unsigned(camera), &pictureWidth) : QString();
    follow.setToolTip(moved ? QString() : WhyNotFollow(camera, differs));
    // The fix for a camera of the other picture size: convert the project.
    convertTo = pictureWidth;
    convert->setVisible(!differs.isEmpty() && (pictureWidth == 180 || pictureWidth == 320));
    convert->setText(QString::fromStdString(FillText(Text(text::onsite_convert_fix).toStdString(),
                                                     {pictureWidth == 180 ? "180 × 144" : "320 × 240"})));
    menu->popup(globalPos);
}

QString LiveSiteLink::WhyNotFollow(int camera, const QString& differs) const {
    if (camera < 0)
        return {};
    const unsigned c = unsigned(camera);
    bool picture = false;
    core.WithPicture(c, [&](const Bitmap& b) { picture = !b.Empty(); });
    if (!picture)
        return Text(text::onsite_follow_why_no_picture);
    if (!differs.isEmpty())
        return differs;
    const RenderState& state = view.State();
    if (c >= state.backgrounds.size() || state.backgrounds[c].Empty())
        return QString::fromStdString(
            FillText(Text(text::onsite_follow_why_no_background).toStdString(), {CardName(c)}));
    return Text(text::onsite_follow_why_not_moved);
}

} // namespace korvex
