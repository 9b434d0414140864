#include "app/editor/EditorOverlay.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <cmath>

namespace korvex {

namespace {

QPointF CentreOf(Point p, int32_t zoom) {
    return QPointF((p.x + 0.5) * zoom, (p.y + 0.5) * zoom);
}

} // namespace

void DrawCornerNumbers(QImage& zoomed, const std::array<Point, 4>& points, int count, int32_t zoom) {
    if (count <= 0)
        return;
    QPainter painter(&zoomed);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QFont font = painter.font();
    font.setPixelSize(11);
    font.setBold(true);
    painter.setFont(font);
    QFontMetrics metrics(font);

    QPointF centre;
    for (int k = 0; k < count; ++k)
        centre += CentreOf(points[size_t(k)], zoom);
    centre /= count;
    // Beyond the handle's frame (3 canvas pixels around the corner).
    const double reach = 3.0 * zoom + 9.0;
    for (int k = 0; k < count; ++k) {
        QPointF corner = CentreOf(points[size_t(k)], zoom);
        QPointF away = corner - centre;
        double length = std::hypot(away.x(), away.y());
        // Corners on the centre (a point-like detector, a line's middle)
        // go up and to the right, in corner order.
        if (length < 0.5)
            away = QPointF(1.0, -1.0 - k), length = std::hypot(away.x(), away.y());
        QPointF at = corner + away * (reach / length);
        QString text = QString::number(k + 1);
        QRectF box(0, 0, metrics.horizontalAdvance(text) + 6, metrics.height());
        box.moveCenter(at);
        painter.setPen(QPen(QColor(0, 0, 0), 1));
        painter.setBrush(QColor(255, 255, 224));
        painter.drawRoundedRect(box, 3, 3);
        painter.drawText(box, Qt::AlignCenter, text);
    }
}

void DrawSnapMarker(QImage& zoomed, Point target, int32_t zoom) {
    QPainter painter(&zoomed);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPointF c = CentreOf(target, zoom);
    const double r = 3.0 * zoom + 4.0;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 255), 4));
    painter.drawEllipse(c, r, r);
    painter.setPen(QPen(QColor(255, 0, 255), 2));
    painter.drawEllipse(c, r, r);
    painter.drawLine(c - QPointF(r + 3, 0), c + QPointF(r + 3, 0));
    painter.drawLine(c - QPointF(0, r + 3), c + QPointF(0, r + 3));
}

} // namespace korvex
