#include "app/editor/DetectorDrawing.h"

#include "raster/DetectorRaster.h"

#include <QPainter>
#include <QPolygon>

namespace korvex {

QImage ImageOf(const Bitmap& bitmap) {
    return QImage(bitmap.Data().data(), static_cast<int>(bitmap.Width()), static_cast<int>(bitmap.Height()),
                  static_cast<qsizetype>(bitmap.Width()) * 3, QImage::Format_BGR888);
}

DrawnArea DrawDetectorOnCanvas(Bitmap& canvas, const std::array<Point, 4>& points, const Detector& detector,
                               int32_t activePoint, bool selected) {
    DrawResult r = DrawDetector(canvas, points, detector, activePoint, selected, false, canvas.Width(),
                                canvas.Height(), detector.exclusion);
    return {r.card, r.number, r.count};
}

static QPolygon ArrowPolygon(const std::array<Point, 4>& points, bool line, uint32_t angle, int32_t zoom) {
    std::array<Point, 7> poly = DirectionArrowPolygon(points, line, angle, zoom);
    QPolygon q;
    for (const Point& p : poly)
        q << QPoint(p.x, p.y);
    return q;
}

void DrawDirectionArrowOn(QImage& zoomed, const std::array<Point, 4>& points, bool line, uint32_t angle,
                          int32_t zoom) {
    QPainter painter(&zoomed);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(QColor(255, 242, 0));
    painter.drawPolygon(ArrowPolygon(points, line, angle, zoom));
}

void DrawGuideLine(QImage& zoomed, QPoint from, QPoint to) {
    QPainter painter(&zoomed);
    painter.setPen(QPen(QColor(255, 0, 0), 1));
    painter.drawLine(from, to);
}

} // namespace korvex
