// Draws the program's toolbar pictures, pointers and icons and writes them as
// PNG files (each at 1x and 2x) into resources/. Run by hand after changing a
// design: korvex_icon_tool <resources folder>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const QColor kInk(0x26, 0x34, 0x44);
const QColor kBlue(0x2f, 0x7f, 0xd1);
const QColor kBlueLight(0xcf, 0xe3, 0xf8);
const QColor kGreen(0x2e, 0x8b, 0x43);
const QColor kRed(0xd6, 0x45, 0x41);
const QColor kYellow(0xf5, 0xc5, 0x18);
const QColor kPaper(0xff, 0xff, 0xff);
const QColor kGrey(0x8a, 0x96, 0xa3);

using Draw = std::function<void(QPainter&)>;

// Paints in a 16 x 16 (or 32 x 32 for pointers) unit grid; the scale makes
// the 2x picture from the same design.
QImage Render(int units, double scale, const Draw& draw) {
    int pixels = static_cast<int>(std::lround(units * scale));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(scale, scale);
    draw(p);
    p.end();
    return image;
}

QPen Pen(const QColor& c, double w = 1.0) {
    QPen pen(c, w);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

// The detector shape of the toolbar: a trapezoid like a new detector's.
QPolygonF Quad() { return QPolygonF({{5.5, 2.5}, {10.5, 2.5}, {13.5, 13.5}, {2.5, 13.5}}); }

void QuadOutline(QPainter& p, const QColor& c = kGreen) {
    p.setPen(Pen(c, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(Quad());
}

void Divisions(QPainter& p, int k) {
    QPolygonF q = Quad();
    // Dividing lines join points of P3->P0 and P2->P1 at i / (k + 1).
    p.setPen(Pen(kGreen, 1.0));
    for (int i = 1; i <= k; ++i) {
        double t = double(i) / (k + 1);
        double y = std::round(13.5 + (2.5 - 13.5) * t - 0.5) + 0.5;
        double tl = (13.5 - y) / 11.0;
        QPointF a(2.5 + (5.5 - 2.5) * tl, y), b(13.5 + (10.5 - 13.5) * tl, y);
        p.drawLine(a, b);
    }
    QuadOutline(p);
}

void Page(QPainter& p) {
    QPainterPath path;
    path.moveTo(3.5, 1.5);
    path.lineTo(9.5, 1.5);
    path.lineTo(12.5, 4.5);
    path.lineTo(12.5, 14.5);
    path.lineTo(3.5, 14.5);
    path.closeSubpath();
    p.setPen(Pen(kInk));
    p.setBrush(kPaper);
    p.drawPath(path);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({{9.5, 1.5}, {9.5, 4.5}, {12.5, 4.5}}));
}

void Magnifier(QPainter& p, bool plus) {
    p.setPen(Pen(kInk, 1.5));
    p.setBrush(kBlueLight);
    p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
    p.setPen(Pen(kInk, 2.5));
    p.drawLine(QPointF(10.0, 10.0), QPointF(14.5, 14.5));
    p.setPen(Pen(kInk, 1.0));
    p.drawLine(QPointF(4.0, 6.5), QPointF(9.0, 6.5));
    if (plus)
        p.drawLine(QPointF(6.5, 4.0), QPointF(6.5, 9.0));
}

void CurvedArrow(QPainter& p, bool left) {
    p.save();
    if (!left) {
        p.translate(16, 0);
        p.scale(-1, 1);
    }
    QPainterPath arc;
    arc.moveTo(4.5, 6.5);
    arc.lineTo(9.5, 6.5);
    arc.cubicTo(15.0, 6.5, 15.0, 13.5, 9.5, 13.5);
    arc.lineTo(6.5, 13.5);
    p.setPen(Pen(kBlue, 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arc);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawPolygon(QPolygonF({{1.0, 6.5}, {6.0, 2.0}, {6.0, 11.0}}));
    p.restore();
}

void FourWayArrow(QPainter& p, QPointF c, double r, const QColor& colour) {
    p.setPen(Pen(colour, 1.0));
    p.drawLine(QPointF(c.x() - r + 2, c.y()), QPointF(c.x() + r - 2, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - r + 2), QPointF(c.x(), c.y() + r - 2));
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    double a = 3.0;
    p.drawPolygon(QPolygonF({{c.x() - r, c.y()}, {c.x() - r + a, c.y() - a}, {c.x() - r + a, c.y() + a}}));
    p.drawPolygon(QPolygonF({{c.x() + r, c.y()}, {c.x() + r - a, c.y() - a}, {c.x() + r - a, c.y() + a}}));
    p.drawPolygon(QPolygonF({{c.x(), c.y() - r}, {c.x() - a, c.y() - r + a}, {c.x() + a, c.y() - r + a}}));
    p.drawPolygon(QPolygonF({{c.x(), c.y() + r}, {c.x() - a, c.y() + r - a}, {c.x() + a, c.y() + r - a}}));
}

void Eraser(QPainter& p, double ox, double oy, double s) {
    p.save();
    p.translate(ox, oy);
    p.scale(s, s);
    QPolygonF body({{2.5, 10.5}, {9.5, 3.5}, {14.5, 8.5}, {7.5, 15.5}});
    QPolygonF tip({{2.5, 10.5}, {5.5, 7.5}, {10.5, 12.5}, {7.5, 15.5}});
    p.setPen(Pen(kInk));
    p.setBrush(QColor(0xf0, 0x8c, 0xa8));
    p.drawPolygon(body);
    p.setBrush(kPaper);
    p.drawPolygon(tip);
    p.restore();
}

// The direction arrow of the editor, pointing the way of `angle` degrees
// (0 down, 90 right).
void DirectionArrow(QPainter& p, QPointF c, double scale, double angle) {
    static const double shape[7][2] = {{3, -10}, {-3, -10}, {-3, 5}, {-6, 5}, {0, 11}, {6, 5}, {3, 5}};
    double t = -angle * 3.14159265 / 180.0;
    QPolygonF poly;
    for (const auto& s : shape) {
        double x = s[0] * scale, y = s[1] * scale;
        poly << QPointF(x * std::cos(t) - y * std::sin(t) + c.x(), x * std::sin(t) + y * std::cos(t) + c.y());
    }
    p.setPen(Pen(kInk, 1.0));
    p.setBrush(kYellow);
    p.drawPolygon(poly);
}

Draw ToolbarPicture(int index) {
    switch (index) {
    case 0: // new project
        return [](QPainter& p) {
            Page(p);
            p.setPen(Pen(kGreen));
            p.drawPolygon(QPolygonF({{6.5, 7.5}, {8.5, 7.5}, {10.5, 12.5}, {5.5, 12.5}}));
        };
    case 1: // open project
        return [](QPainter& p) {
            p.setPen(Pen(kInk));
            p.setBrush(QColor(0xe8, 0xb9, 0x4f));
            p.drawPolygon(QPolygonF({{1.5, 3.5}, {6.5, 3.5}, {7.5, 5.5}, {13.5, 5.5}, {13.5, 13.5}, {1.5, 13.5}}));
            p.setBrush(QColor(0xf7, 0xd4, 0x7c));
            p.drawPolygon(QPolygonF({{3.5, 7.5}, {15.5, 7.5}, {13.5, 13.5}, {1.5, 13.5}}));
        };
    case 2: // save
        return [](QPainter& p) {
            p.setPen(Pen(kInk));
            p.setBrush(kBlue);
            p.drawPolygon(QPolygonF({{1.5, 1.5}, {12.5, 1.5}, {14.5, 3.5}, {14.5, 14.5}, {1.5, 14.5}}));
            p.setBrush(kPaper);
            p.drawRect(QRectF(4.5, 1.5, 7, 5));
            p.setPen(Qt::NoPen);
            p.setBrush(kInk);
            p.drawRect(QRectF(9, 2.5, 2, 3));
            p.setBrush(QColor(0xe6, 0xee, 0xf6));
            p.drawRect(QRectF(4, 9, 8, 5));
        };
    case 3:
        return [](QPainter& p) { CurvedArrow(p, true); };
    case 4:
        return [](QPainter& p) { CurvedArrow(p, false); };
    case 5:
    case 6:
    case 7:
    case 8: // pen widths 1..4
        return [index](QPainter& p) {
            int w = index - 4;
            p.setPen(Qt::NoPen);
            p.setBrush(kInk);
            double top = 8.0 - std::floor(w / 2.0);
            p.drawRect(QRectF(2, top, 12, w));
            p.setBrush(kGrey);
            p.drawRect(QRectF(2, 2, 1, 3));
            p.drawRect(QRectF(13, 2, 1, 3));
            p.drawRect(QRectF(2, 11, 1, 3));
            p.drawRect(QRectF(13, 11, 1, 3));
        };
    case 9: // delete detector
        return [](QPainter& p) {
            QuadOutline(p, kGrey);
            p.setPen(Pen(kRed, 2.0));
            p.drawLine(QPointF(4, 4), QPointF(12, 12));
            p.drawLine(QPointF(12, 4), QPointF(4, 12));
        };
    case 10:
        return [](QPainter& p) { Magnifier(p, true); };
    case 11:
        return [](QPainter& p) { Magnifier(p, false); };
    case 12: // reshape: corners with handles
        return [](QPainter& p) {
            QuadOutline(p, kRed);
            p.setPen(Pen(kInk));
            p.setBrush(kPaper);
            for (QPointF c : Quad())
                p.drawRect(QRectF(c.x() - 2, c.y() - 2, 4, 4));
            p.setBrush(kBlue);
            p.drawRect(QRectF(11.5, 11.5, 4, 4));
        };
    case 13: // erase
        return [](QPainter& p) { Eraser(p, 0, -1, 1.0); };
    case 14: // unused cell
        return [](QPainter&) {};
    case 15: // outline only
        return [](QPainter& p) { QuadOutline(p); };
    case 16:
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
        return [index](QPainter& p) { Divisions(p, index - 15); };
    case 22: // fill 20: sparse dither
        return [](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(kGreen);
            for (int y = 4; y < 13; y += 2)
                for (int x = 3 + (y / 2) % 2; x < 14; x += 2) {
                    double t = (13.5 - (y + 0.5)) / 11.0;
                    double l = 2.5 + 3.0 * t, r = 13.5 - 3.0 * t;
                    if (x + 0.5 > l && x + 0.5 < r)
                        p.drawRect(QRectF(x, y, 1, 1));
                }
            QuadOutline(p);
        };
    case 23: // aim
        return [](QPainter& p) {
            p.setPen(Pen(kGrey));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
            DirectionArrow(p, QPointF(8, 8), 0.62, 90);
        };
    case 24: // move
        return [](QPainter& p) {
            QuadOutline(p, kGrey);
            FourWayArrow(p, QPointF(8, 8), 7.5, kInk);
        };
    case 25: // fill 100
        return [](QPainter& p) {
            p.setPen(Pen(kGreen));
            p.setBrush(kGreen);
            p.drawPolygon(Quad());
        };
    case 26: // move every detector of a card
        return [](QPainter& p) {
            p.setPen(Pen(kInk));
            p.setBrush(kBlueLight);
            p.drawRect(QRectF(0.5, 2.5, 15, 11));
            FourWayArrow(p, QPointF(8, 8), 6.5, kInk);
        };
    default:
        return [](QPainter&) {};
    }
}

bool Save(const QImage& image, const QString& path) {
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool SavePair(const QString& folder, const QString& name, int units, const Draw& draw) {
    return Save(Render(units, 1, draw), folder + "/" + name + ".png") &&
           Save(Render(units, 2, draw), folder + "/" + name + "@2x.png");
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvex_icon_tool <resources folder>\n");
        return 2;
    }
    QString root = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(root + "/toolbar");
    QDir().mkpath(root + "/pointers");
    QDir().mkpath(root + "/icons");
    bool ok = true;
    for (int i = 0; i < 27; ++i)
        ok &= SavePair(root + "/toolbar", QString::asprintf("tb%02d", i), 16, ToolbarPicture(i));

    // Pointers: 32 x 32, the hot spot is given in Icons.cpp.
    ok &= SavePair(root + "/pointers", "erase", 32, [](QPainter& p) {
        p.setPen(Pen(kInk));
        p.setBrush(QColor(255, 255, 255, 160));
        p.drawRect(QRectF(11.5, 11.5, 9, 9)); // the 9 x 9 square a press blackens
        Eraser(p, 16, 0, 1.0);
    });
    ok &= SavePair(root + "/pointers", "move", 32, [](QPainter& p) {
        p.setPen(Pen(kPaper, 3.0));
        FourWayArrow(p, QPointF(16, 16), 12, kPaper);
        FourWayArrow(p, QPointF(16, 16), 11, kInk);
    });
    ok &= SavePair(root + "/pointers", "aim", 32, [](QPainter& p) {
        p.setPen(Pen(kInk));
        p.drawLine(QPointF(16, 4), QPointF(16, 13));
        p.drawLine(QPointF(16, 19), QPointF(16, 28));
        p.drawLine(QPointF(4, 16), QPointF(13, 16));
        p.drawLine(QPointF(19, 16), QPointF(28, 16));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(16, 16), 8, 8);
        DirectionArrow(p, QPointF(25, 25), 0.45, 315);
    });
    ok &= SavePair(root + "/pointers", "movecard", 32, [](QPainter& p) {
        p.setPen(Pen(kInk));
        p.setBrush(kBlueLight);
        p.drawRect(QRectF(18.5, 20.5, 12, 9));
        FourWayArrow(p, QPointF(14, 14), 11, kInk);
    });

    // Problem line picture: a warning sign, 20 x 20.
    ok &= Save(Render(20, 1, [](QPainter& p) {
                   p.setPen(Pen(QColor(0x9a, 0x6b, 0x00)));
                   p.setBrush(kYellow);
                   p.drawPolygon(QPolygonF({{10, 2}, {18.5, 17.5}, {1.5, 17.5}}));
                   p.setPen(Qt::NoPen);
                   p.setBrush(kInk);
                   p.drawRect(QRectF(9, 7, 2, 6));
                   p.drawRect(QRectF(9, 14, 2, 2));
               }),
               root + "/icons/problem.png");
    // Program icon: a camera picture with a detector on it.
    Draw appIcon = [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1f, 0x4e, 0x79));
        p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
        p.setBrush(QColor(0x6f, 0x9c, 0xc8));
        p.drawRect(QRectF(5, 7, 22, 18));
        p.setPen(Pen(kRed, 2.0));
        p.setBrush(QColor(214, 69, 65, 90));
        p.drawPolygon(QPolygonF({{11, 10}, {19, 10}, {23, 22}, {8, 22}}));
        p.setPen(Pen(kPaper, 1.0));
        p.drawLine(QPointF(9.5, 16), QPointF(21.5, 16));
    };
    for (int size : {16, 32, 48, 64, 128})
        ok &= Save(Render(32, size / 32.0, appIcon),
                   root + QString::asprintf("/icons/korvex%d.png", size));
    return ok ? 0 : 1;
}
