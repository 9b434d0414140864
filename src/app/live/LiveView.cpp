#include "app/live/LiveView.h"

#include "framework/Trace.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace korvex {

namespace {

uint64_t NowUs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

// Copies a slot picture (blue, green, red bytes, rows without padding) into
// a 32-bit picture of the same size, which the painter stretches without
// converting again.
void ToOffscreen(const Bitmap& picture, QImage& out) {
    const int w = int(picture.Width()), h = int(picture.Height());
    if (out.width() != w || out.height() != h || out.format() != QImage::Format_RGB32)
        out = QImage(w, h, QImage::Format_RGB32);
    const uint8_t* src = picture.Data().data();
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x, src += 3)
            row[x] = 0xFF000000u | uint32_t(src[2]) << 16 | uint32_t(src[1]) << 8 | src[0];
    }
}

} // namespace

LiveView::LiveView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("liveView"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setCursor(Qt::ArrowCursor);
    // The paint fills its whole area itself: Qt need not clear it first.
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    resize(100, 100);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &LiveView::OnTimer);
    timer.start(kTimerPeriod_ms);
}

LiveView::~LiveView() = default;

void LiveView::Attach(LiveViewCore* c) {
    core = c;
    if (core)
        core->Relayout();
    else
        ApplyContentSize(32, 0);
    update();
}

void LiveView::ZoomIn() {
    if (core)
        core->ZoomIn();
}

void LiveView::ZoomOut() {
    if (core)
        core->ZoomOut();
}

void LiveView::ApplyContentSize(int width, int height) {
    if (size() != QSize(width, height))
        resize(width, height);
    Q_EMIT ContentSizeChanged();
}

void LiveView::OnTimer() {
    if (core)
        core->OnTimer();
    if (paintDue) {
        paintDue = false;
        update();
    }
}

void LiveView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !core)
        return;
    const QPoint p = event->position().toPoint();
    // With the detectors shown, a double click on one chooses it; anywhere
    // else it zooms as always.
    const int camera = CameraAt(p);
    if (showDetectors && camera >= 0 &&
        offscreen[unsigned(camera)].size() == QSize(int(shapesWidth), int(shapesHeight))) {
        const QRect pic = painted[unsigned(camera)];
        const double k = paintedScale[unsigned(camera)];
        const int32_t index =
            OverlayDetectorAt(shapes[unsigned(camera)], (p.x() - pic.x()) / k, (p.y() - pic.y()) / k, 3.0);
        if (index >= 0) {
            Q_EMIT DetectorChosen(index);
            return;
        }
    }
    core->OnDoubleClick(p.x(), p.y());
}

void LiveView::contextMenuEvent(QContextMenuEvent* event) {
    Q_EMIT CameraMenuRequested(CameraAt(event->pos()), event->globalPos());
}

int LiveView::CameraAt(const QPoint& point) const {
    for (unsigned i = 0; i < kCameraSlots; ++i)
        if (painted[i].contains(point))
            return int(i);
    return -1;
}

void LiveView::SetDetectors(LiveOverlayShapes s, uint32_t width, uint32_t height) {
    shapes = std::move(s);
    shapesWidth = width;
    shapesHeight = height;
    // What painting needs, worked out once: the name labels, and whether
    // every detector of a camera lies on its picture.
    for (size_t camera = 0; camera < shapes.size(); ++camera) {
        labelImages[camera].clear();
        shapesInside[camera] = true;
        for (OverlayShape& shape : shapes[camera]) {
            labelImages[camera].push_back(&Label(shape.name, shape.selected));
            for (size_t c = 0; c < (shape.line ? 2u : 4u); ++c) {
                const Point p = shape.points[c];
                shapesInside[camera] = shapesInside[camera] && p.x >= 0 && p.y >= 0 && p.x < int32_t(width) &&
                                       p.y < int32_t(height);
            }
        }
    }
    sources.fill(Source{}); // the outlines are redrawn into fresh copies
    if (showDetectors)
        RequestPaint();
}

void LiveView::ShowDetectors(bool on) {
    if (showDetectors == on)
        return;
    showDetectors = on;
    sources.fill(Source{});
    update();
}

void LiveView::SetCameraNote(unsigned camera, const QString& text) {
    if (camera >= kCameraSlots || notes[camera] == text)
        return;
    notes[camera] = text;
    update();
}

void LiveView::SetCameraName(unsigned camera, const QString& name) {
    if (camera >= kCameraSlots || names[camera] == name)
        return;
    names[camera] = name;
    update();
}

const QImage& LiveView::Label(const std::string& name, bool selected) {
    const std::string key = (selected ? "*" : " ") + name;
    auto it = labels.find(key);
    if (it != labels.end())
        return it->second;
    QFont small = font();
    small.setPixelSize(10);
    const QFontMetrics metrics(small);
    const QString text = QString::fromStdString(name);
    QImage label(metrics.horizontalAdvance(text) + 4, metrics.height() + 1, QImage::Format_RGB32);
    label.fill(selected ? QColor(kSelectedColour) : QColor(kLabelBackground));
    QPainter p(&label);
    p.setFont(small);
    p.setPen(selected ? Qt::black : Qt::white);
    p.drawText(label.rect(), Qt::AlignCenter, text);
    p.end();
    return labels.emplace(key, std::move(label)).first->second;
}

bool LiveView::DetectorsFit(unsigned camera) const {
    return showDetectors && !shapes[camera].empty() &&
           offscreen[camera].size() == QSize(int(shapesWidth), int(shapesHeight));
}

namespace {

// The outlines of `shapes` but the selected one, at `origin` and
// magnification k, with one thin pen (the raster engine's fast path).
void Outlines(QPainter& painter, const std::vector<OverlayShape>& shapes, QPoint origin, int k) {
    QPen thin{QColor(LiveView::kDetectorColour)};
    thin.setCosmetic(true);
    thin.setWidth(0);
    painter.setPen(thin);
    painter.setBrush(Qt::NoBrush);
    for (const OverlayShape& shape : shapes) {
        if (shape.selected)
            continue; // drawn last, highlighted
        QPoint c[4];
        for (size_t i = 0; i < 4; ++i)
            c[i] = origin + QPoint(shape.points[i].x * k + k / 2, shape.points[i].y * k + k / 2);
        if (shape.line)
            painter.drawLine(c[0], c[1]);
        else
            painter.drawPolygon(c, 4);
    }
}

// The names, each above the top-left corner of its detector's bounds.
void Names(QPainter& painter, const std::vector<OverlayShape>& shapes,
           const std::vector<const QImage*>& labels, const QRect& picture, int k) {
    for (size_t i = 0; i < shapes.size(); ++i) {
        const QImage& label = *labels[i];
        const QPoint at(picture.x() + shapes[i].labelAt.x * k + 2, picture.y() + shapes[i].labelAt.y * k);
        painter.drawImage(QPoint(at.x(), std::max(picture.y(), at.y() - label.height())), label);
    }
}

} // namespace

void LiveView::DrawOutlines(unsigned camera) {
    // With all cameras shown, the outlines and names go into the picture
    // itself, once per picture rather than once per paint, and scale with
    // it; an enlarged camera gets them sharp when painting.
    if (!DetectorsFit(camera) || zoomedLayout)
        return;
    QPainter painter(&offscreen[camera]);
    Outlines(painter, shapes[camera], QPoint(0, 0), 1);
    Names(painter, shapes[camera], labelImages[camera], offscreen[camera].rect(), 1);
}

void LiveView::PaintExtras(QPainter& painter, unsigned camera, const QRect& pic, int k) {
    if (DetectorsFit(camera)) {
        // Detectors lie on the picture as the editor keeps them; only one
        // reaching outside it needs the (slower) clipped drawing.
        if (!shapesInside[camera])
            painter.setClipRect(pic);
        if (zoomedLayout) {
            Outlines(painter, shapes[camera], pic.topLeft(), k);
            Names(painter, shapes[camera], labelImages[camera], pic, k);
        }
        for (const OverlayShape& shape : shapes[camera]) {
            if (!shape.selected)
                continue;
            QPoint c[4];
            for (size_t i = 0; i < 4; ++i)
                c[i] = {pic.x() + shape.points[i].x * k + k / 2, pic.y() + shape.points[i].y * k + k / 2};
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(QColor(kSelectedColour), 2));
            if (shape.line)
                painter.drawLine(c[0], c[1]);
            else
                painter.drawPolygon(c, 4);
        }
        if (!shapesInside[camera])
            painter.setClipping(false);
    }
    if (!names[camera].isEmpty()) {
        // Every picture says which camera it is, in the editor's words.
        const QFontMetrics metrics(font());
        const QRect box(pic.x() + 4, pic.y() + 4, metrics.horizontalAdvance(names[camera]) + 10,
                        metrics.height() + 4);
        painter.fillRect(box, QColor(255, 255, 255, 200));
        painter.setPen(Qt::black);
        painter.drawText(box, Qt::AlignCenter, names[camera]);
    }
    if (!notes[camera].isEmpty()) {
        // A note longer than the picture is wide wraps onto more lines.
        const QFontMetrics metrics(font());
        const QRect text = metrics.boundingRect(QRect(0, 0, std::max(pic.width() - 18, 40), 10000),
                                                Qt::TextWordWrap | Qt::AlignCenter, notes[camera]);
        const QRect box(pic.x() + 4, pic.bottom() - text.height() - 7, text.width() + 10, text.height() + 4);
        painter.fillRect(box, QColor(kNoteBackground));
        painter.setPen(Qt::black);
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        painter.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, notes[camera]);
    }
}

void LiveView::paintEvent(QPaintEvent* event) {
    const uint64_t start = NowUs();
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.fillRect(event->rect(), Qt::white);
    if (core) {
        const LiveLayout layout = core->Layout();
        const QColor frameColour = palette().color(QPalette::Dark);
        painted.fill(QRect());
        if (zoomedLayout != (layout.zoomCamera != -1)) {
            zoomedLayout = layout.zoomCamera != -1;
            sources.fill(Source{}); // the pictures lose or gain their outlines
        }
        for (unsigned i = 0; i < layout.cameraCount && i < kCameraSlots; ++i) {
            if (layout.zoomCamera != -1 && int(i) != layout.zoomCamera)
                continue;
            const CellGeometry cell = LiveViewCore::Cell(layout, i);
            const int k = cell.magnification;
            // The picture, copied out under the slot's lock.
            // Every replacement of a slot's picture moves its last-shown
            // time or its buffer, so an unchanged pair means the off-screen
            // copy is still good.
            int w = 0, h = 0;
            bool converted = false;
            const uint64_t shown = core->LastShown(i);
            core->WithPicture(i, [&](const Bitmap& picture) {
                if (picture.Empty())
                    return;
                w = int(picture.Width());
                h = int(picture.Height());
                const Source now{picture.Data().data(), shown, picture.Width(), picture.Height()};
                if (!(sources[i] == now)) {
                    ToOffscreen(picture, offscreen[i]);
                    sources[i] = now;
                    converted = true;
                }
                if (paintObserver)
                    paintObserver(i, picture.Data().data());
            });
            // The outlines go into the picture itself, once per picture
            // rather than once per paint (outside the slot's lock).
            if (converted)
                DrawOutlines(i);
            // A camera whose pictures are smaller than the cell (cameras of
            // several sizes on one device) sits in the cell's middle.
            const int cellW = k * layout.cameraWidth, cellH = k * layout.cameraHeight;
            const int pw = std::min(k * (w ? w : layout.cameraWidth), cellW);
            const int ph = std::min(k * (h ? h : layout.cameraHeight), cellH);
            const int x = cell.x + (cellW - pw) / 2, y = cell.y + (cellH - ph) / 2;
            painted[i] = QRect(x, y, pw, ph);
            paintedScale[i] = k;
            if (!QRect(x - 1, y - 1, pw + 7, ph + 7).intersects(event->rect()))
                continue;
            painter.fillRect(QRect(QPoint(x + pw + 1, y + 4), QPoint(x + pw + 5, y + ph + 5)),
                             QColor(kShadow));
            painter.fillRect(QRect(QPoint(x + 4, y + ph + 1), QPoint(x + pw, y + ph + 5)), QColor(kShadow));
            painter.setPen(frameColour);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(QRect(x - 1, y - 1, pw + 1, ph + 1));
            if (w > 0 && h > 0)
                painter.drawImage(QRect(x, y, pw, ph), offscreen[i], QRect(0, 0, pw / k, ph / k));
            PaintExtras(painter, i, painted[i], k);
        }
    }
    painter.end();
    const uint64_t took = NowUs() - start;
    stats.paints++;
    stats.total_us += took;
    stats.last_us = took;
    Trace("%s: %ums\n", "LiveView::OnPaint", unsigned(took / 1000));
}

} // namespace korvex
