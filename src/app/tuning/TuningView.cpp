#include "app/tuning/TuningView.h"

#include <QMouseEvent>
#include <QPainter>

namespace korvex {

TuningView::TuningView(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("tuningView"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
}

void TuningView::SetCurve(const TuningCurve& c) {
    curve = c;
    update();
}

void TuningView::SetCrossHair(int feature, int threshold) {
    if (feature == shownFeature && threshold == shownThreshold)
        return;
    shownFeature = feature;
    shownThreshold = threshold;
    update();
}

QImage TuningView::Plot() const {
    const int h = std::max(1, contentsRect().height());
    QImage plot(int(kTraceSamples), h, QImage::Format_RGB32);
    plot.fill(Qt::white);
    const uint32_t total = curve.Total();
    if (total == 0)
        return plot; // no trace: white, no cross-hair
    QPainter p(&plot);
    p.setPen(QColor(kCurve));
    // Each bar covers the rows below its top, the top row itself excluded
    // (an empty bin draws nothing, a full one the whole height).
    for (unsigned i = 0; i < kTraceSamples; ++i)
        if (auto top = tuning::BarTop(curve, i, h)) {
            const int from = std::max(*top + 1, 0);
            if (from <= h - 1)
                p.drawLine(int(i), from, int(i), h - 1);
        }
    if (shownFeature != -1 && shownThreshold != -1) {
        p.setPen(QColor(kCrossHair));
        const int x = tuning::FeatureColumn(shownFeature);
        p.drawLine(x, 0, x, h - 1);
        if (auto y = tuning::ThresholdRow(shownThreshold, total, h))
            p.drawLine(0, *y, int(kTraceSamples) - 1, *y);
    }
    return plot;
}

void TuningView::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    // The 250 columns stretched to the view's width.
    p.drawImage(contentsRect(), Plot());
}

std::optional<tuning::Reading> TuningView::ReadAt(const QPoint& point) const {
    const QRect r = contentsRect();
    return tuning::ReadAt(point.x() - r.left(), point.y() - r.top(), r.width(), r.height(), curve.Total());
}

void TuningView::mouseMoveEvent(QMouseEvent* event) {
    if (auto r = ReadAt(event->position().toPoint()))
        Q_EMIT PointerRead(r->feature, r->threshold);
}

void TuningView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    if (auto r = ReadAt(event->position().toPoint()))
        Q_EMIT Clicked(r->feature, r->threshold);
}

} // namespace korvex
