#include "app/live/LiveView.h"

#include "framework/Trace.h"

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
    core->OnDoubleClick(p.x(), p.y());
}

void LiveView::paintEvent(QPaintEvent* event) {
    const uint64_t start = NowUs();
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.fillRect(event->rect(), Qt::white);
    if (core) {
        const LiveLayout layout = core->Layout();
        const QColor frameColour = palette().color(QPalette::Dark);
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
                }
                if (paintObserver)
                    paintObserver(i, picture.Data().data());
            });
            // A camera whose pictures are smaller than the cell (cameras of
            // several sizes on one device) sits in the cell's middle.
            const int cellW = k * layout.cameraWidth, cellH = k * layout.cameraHeight;
            const int pw = std::min(k * (w ? w : layout.cameraWidth), cellW);
            const int ph = std::min(k * (h ? h : layout.cameraHeight), cellH);
            const int x = cell.x + (cellW - pw) / 2, y = cell.y + (cellH - ph) / 2;
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
