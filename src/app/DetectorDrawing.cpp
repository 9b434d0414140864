#include "app/DetectorDrawing.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>

#ifdef KORVEX_HAVE_RASTER
#include "raster/DetectorRaster.h"
#endif

namespace korvex {

QImage ImageOf(const Bitmap& bitmap) {
    return QImage(bitmap.Data().data(), static_cast<int>(bitmap.Width()), static_cast<int>(bitmap.Height()),
                  static_cast<qsizetype>(bitmap.Width()) * 3, QImage::Format_BGR888);
}

#ifdef KORVEX_HAVE_RASTER

DrawnArea DrawDetectorOnCanvas(Bitmap& canvas, const std::array<Point, 4>& points, const Detector& detector,
                               int32_t activePoint, bool selected) {
    DrawResult r = DrawDetector(canvas, points, detector, activePoint, selected, false, canvas.Width(),
                                canvas.Height(), detector.exclusion);
    return {r.card, r.number, r.count, true};
}

static QPolygon ArrowPolygon(const std::array<Point, 4>& points, bool line, uint32_t angle, int32_t zoom) {
    std::array<Point, 7> poly = DirectionArrowPolygon(points, line, angle, zoom);
    QPolygon q;
    for (const Point& p : poly)
        q << QPoint(p.x, p.y);
    return q;
}

#else

// Without the rasteriser the editor still shows where the detectors are,
// drawn with the platform's painter; the area count is then unknown.
DrawnArea DrawDetectorOnCanvas(Bitmap& canvas, const std::array<Point, 4>& points, const Detector& detector,
                               int32_t activePoint, bool selected) {
    QImage image(canvas.Data().data(), static_cast<int>(canvas.Width()), static_cast<int>(canvas.Height()),
                 static_cast<qsizetype>(canvas.Width()) * 3, QImage::Format_BGR888);
    QPainter painter(&image);
    QColor colour = selected ? QColor(255, 0, 0) : (detector.contrast ? QColor(0, 0, 128) : QColor(0, 128, 0));
    painter.setPen(QPen(colour, std::clamp<int>(static_cast<int>(detector.pen_width), 1, 4)));
    if (detector.IsLine()) {
        painter.drawLine(points[0].x, points[0].y, points[1].x, points[1].y);
    } else {
        QPolygon q;
        for (const Point& p : points)
            q << QPoint(p.x, p.y);
        if (detector.fill > 0)
            painter.setBrush(QBrush(colour, detector.fill >= 100 ? Qt::SolidPattern : Qt::Dense6Pattern));
        painter.drawPolygon(q);
    }
    if (selected) {
        int corners = detector.IsLine() ? 2 : 4;
        painter.setBrush(Qt::NoBrush);
        for (int k = 0; k < corners; ++k) {
            painter.setPen(k == activePoint ? QColor(0, 0, 255) : QColor(128, 128, 128));
            painter.drawRect(points[static_cast<size_t>(k)].x - 3, points[static_cast<size_t>(k)].y - 3, 5, 5);
        }
    }
    return {detector.card, detector.number, 0, false};
}

static QPolygon ArrowPolygon(const std::array<Point, 4>& points, bool line, uint32_t angle, int32_t zoom) {
    static const int shape[7][2] = {{3, -10}, {-3, -10}, {-3, 5}, {-6, 5}, {0, 11}, {6, 5}, {3, 5}};
    int n = line ? 2 : 4;
    float cx = 0, cy = 0;
    for (int i = 0; i < n; ++i) {
        cx += static_cast<float>(points[static_cast<size_t>(i)].x);
        cy += static_cast<float>(points[static_cast<size_t>(i)].y);
    }
    cx /= static_cast<float>(n);
    cy /= static_cast<float>(n);
    float theta = -static_cast<float>(angle) * 0.01745328f;
    float c = std::cos(theta), s = std::sin(theta), z = static_cast<float>(zoom);
    QPolygon q;
    for (const auto& p : shape) {
        float px = static_cast<float>(p[0]), py = static_cast<float>(p[1]);
        q << QPoint(static_cast<int>(std::floor((px * c - py * s + cx) * z + 0.5f)),
                    static_cast<int>(std::floor((px * s + py * c + cy) * z + 0.5f)));
    }
    return q;
}

#endif

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
