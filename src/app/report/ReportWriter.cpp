#include "app/report/ReportWriter.h"

#include "files/ProjectDiff.h"
#include "framework/AtomicFile.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "model/PictureCoordinates.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>

namespace korvex {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Lays text and pictures down A4 pages from the top, starting a new page
// when the next piece does not fit.
class PageLayout {
public:
    static constexpr int kDpi = 150;
    static constexpr int kMargin = 60;

    explicit PageLayout(QPdfWriter& writer) : writer(writer) {
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(kDpi);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setCreator(QStringLiteral("Korvex"));
    }
    bool Begin() { return painter.begin(&writer); }
    bool End() { return painter.end(); }

    int Width() const { return writer.width() - 2 * kMargin; }
    int Left() const { return kMargin; }
    int Top() const { return y; }
    QPainter& Painter() { return painter; }

    void NewPage() {
        writer.newPage();
        y = kMargin;
    }
    // Makes room for `height` more pixels on this page or a new one.
    void Need(int height) {
        if (y + height > writer.height() - kMargin && y > kMargin)
            NewPage();
    }
    void Skip(int height) { y += height; }

    void Text(const QString& text, int pixelSize, bool bold = false, int indent = 0) {
        SetFont(pixelSize, bold);
        const QFontMetrics metrics(painter.font());
        const QRect box(kMargin + indent, 0, Width() - indent, 10000);
        const QRect needed = metrics.boundingRect(box, Qt::TextWordWrap, text);
        Need(needed.height());
        painter.drawText(QRect(box.left(), y, box.width(), needed.height()), Qt::TextWordWrap, text);
        y += needed.height() + pixelSize / 3;
    }
    void SetFont(int pixelSize, bool bold) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(pixelSize);
        font.setBold(bold);
        painter.setFont(font);
    }

private:
    QPdfWriter& writer;
    QPainter painter;
    int y = kMargin;
};

void Fact(PageLayout& page, const QString& label, const QString& value) {
    page.SetFont(20, true);
    page.Painter().drawText(QRect(page.Left(), page.Top(), 330, 40), Qt::AlignLeft, label);
    page.Text(value.isEmpty() ? QStringLiteral(" ") : value, 20, false, 340);
}

void TitlePage(PageLayout& page, const ReportContent& report, const ReportSignOff& signOff) {
    page.Text(Q(report.title), 44, true);
    page.Skip(30);
    Fact(page, Q(LoadTextA(text::onsite_report_site)), signOff.site);
    Fact(page, Q(LoadTextA(text::onsite_report_engineer)), signOff.engineer);
    for (const auto& [label, value] : report.facts)
        Fact(page, Q(label), Q(value));
    // The sign-off: lines to sign and date on the printed report.
    page.Skip(60);
    page.Text(Q(LoadTextA(text::onsite_report_signoff)), 28, true);
    for (unsigned id : {text::onsite_report_signature, text::onsite_report_sign_date}) {
        page.Skip(30);
        page.Need(50);
        page.SetFont(20, true);
        page.Painter().drawText(QRect(page.Left(), page.Top(), 330, 40), Qt::AlignLeft, Q(LoadTextA(id)));
        page.Painter().drawLine(page.Left() + 340, page.Top() + 30, page.Left() + page.Width(),
                                page.Top() + 30);
        page.Skip(40);
    }
}

// The camera's picture, scaled up with its detectors outlined and named.
QImage CameraPicture(const RenderState& state, uint32_t card) {
    const PictureArea area = PictureAreaOf(state);
    QImage picture(area.width, area.height, QImage::Format_RGB32);
    picture.fill(Qt::white);
    if (card < state.backgrounds.size()) {
        const Bitmap& b = state.backgrounds[card];
        const QImage canvas(b.Data().data(), int(b.Width()), int(b.Height()), int(b.Width()) * 3,
                            QImage::Format_BGR888);
        QPainter p(&picture);
        p.drawImage(QPoint(0, 0), canvas, QRect(area.left, 0, area.width, area.height));
    }
    const int scale = std::max(1, 720 / std::max(area.width, 1));
    QImage zoomed = picture.scaled(picture.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    QPainter p(&zoomed);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(22);
    font.setBold(true);
    p.setFont(font);
    for (const Detector& d : state.detectors) {
        if (d.card != card)
            continue;
        QPolygonF outline;
        for (int k = 0; k < CornerCount(d); ++k) {
            const Point c = ToPicture(area, d.points[size_t(k)]);
            outline << QPointF((c.x + 0.5) * scale, (c.y + 0.5) * scale);
        }
        p.setPen(QPen(QColor(230, 20, 20), 3));
        p.setBrush(Qt::NoBrush);
        if (d.IsLine())
            p.drawPolyline(outline);
        else
            p.drawPolygon(outline);
        const QString name = Q(DetectorName(d));
        const QRectF label(outline.boundingRect().topLeft() + QPointF(4, 4),
                           QSizeF(22 * name.size() * 0.75 + 8, 28));
        p.fillRect(label, QColor(255, 255, 255, 210));
        p.setPen(QColor(180, 0, 0));
        p.drawText(label, Qt::AlignCenter, name);
    }
    return zoomed;
}

// The detector table: one heading row, one row per detector, columns in
// fixed shares of the page's width.
void DetectorTable(PageLayout& page, const ReportContent& report, const ReportCamera& camera) {
    static const int shares[] = {7, 24, 4, 7, 7, 5, 7, 8, 31};
    std::vector<int> x{page.Left()};
    for (int s : shares)
        x.push_back(x.back() + page.Width() * s / 100);
    const int rowHeight = 30;
    auto row = [&](const std::vector<QString>& cells, bool heading) {
        page.Need(rowHeight);
        page.SetFont(13, heading);
        QPainter& p = page.Painter();
        if (heading)
            p.fillRect(QRect(x.front(), page.Top(), x.back() - x.front(), rowHeight), QColor(225, 225, 225));
        const QFontMetrics metrics(p.font());
        for (size_t c = 0; c < cells.size() && c + 1 < x.size(); ++c) {
            const int w = x[c + 1] - x[c] - 6;
            p.drawText(QRect(x[c] + 3, page.Top(), w, rowHeight), Qt::AlignVCenter | Qt::AlignLeft,
                       metrics.elidedText(cells[c], Qt::ElideRight, w));
        }
        p.setPen(QColor(180, 180, 180));
        p.drawLine(x.front(), page.Top() + rowHeight, x.back(), page.Top() + rowHeight);
        p.setPen(Qt::black);
        page.Skip(rowHeight);
    };
    std::vector<QString> headings;
    for (const std::string& c : report.columns)
        headings.push_back(Q(c));
    row(headings, true);
    for (const ReportDetectorRow& r : camera.rows)
        row({Q(r.name), Q(r.kind), Q(r.number), Q(r.delay), Q(r.extend), Q(r.angle), Q(r.contrast),
             Q(r.thresholds), Q(r.corners)},
            false);
}

void CameraPage(PageLayout& page, const RenderState& state, const ReportContent& report,
                const ReportCamera& camera) {
    page.NewPage();
    page.Text(Q(camera.title), 32, true);
    const QImage picture = CameraPicture(state, camera.card);
    page.Need(picture.height());
    page.Painter().drawImage(QPoint(page.Left(), page.Top()), picture);
    page.Painter().setPen(Qt::black);
    page.Painter().drawRect(QRect(QPoint(page.Left(), page.Top()), picture.size()));
    page.Skip(picture.height() + 30);
    DetectorTable(page, report, camera);
    if (!camera.note.empty()) {
        page.Skip(10);
        page.Text(Q(camera.note), 18);
    }
}

void Lists(PageLayout& page, const ReportContent& report) {
    page.NewPage();
    page.Text(Q(report.formulasTitle), 32, true);
    for (const std::string& f : report.formulas)
        page.Text(Q(f), 18);
    page.Text(Q(LoadTextA(text::onsite_report_always_on)), 16);
    page.Skip(30);
    page.Text(Q(report.problemsTitle), 32, true);
    for (const std::string& line : report.problems)
        page.Text(Q(line), 18);
}

} // namespace

ReportFacts LocalReportFacts(const std::string& projectPath) {
    ReportFacts facts;
    facts.projectPath = projectPath;
    facts.date = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")).toStdString();
    facts.version = KORVEX_VERSION;
    return facts;
}

bool IsWholePdf(const QByteArray& pdf) {
    // The header, then at the end the cross-reference's start and the end
    // marker (a line end may follow it); a writer that stopped short leaves
    // no such tail.
    if (!pdf.startsWith("%PDF-"))
        return false;
    const QByteArray tail = pdf.right(1024);
    const qsizetype end = tail.lastIndexOf("%%EOF");
    if (end < 0 || !tail.mid(end + 5).trimmed().isEmpty())
        return false;
    const qsizetype start = tail.lastIndexOf("startxref");
    return start >= 0 && start < end && pdf.contains("trailer");
}

bool WriteReportPdf(const QString& path, const RenderState& state, const ReportFacts& facts, QString* error,
                    const ReportSignOff& signOff) {
    const std::string target = QFile::encodeName(path).toStdString();
    try {
        // The target is checked before the report is drawn: a device, pipe
        // or folder is refused with nothing written. The PDF writer reports
        // no write errors, so it writes into memory, where nothing can fail
        // but the painter, and the bytes then go out the one checked way.
        AtomicFile file(target);
        const ReportContent report = BuildReportContent(state, facts);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        bool drawn = false;
        {
            QPdfWriter writer(&buffer);
            writer.setTitle(Q(report.title));
            PageLayout page(writer);
            if (page.Begin()) {
                TitlePage(page, report, signOff);
                for (const ReportCamera& camera : report.cameras)
                    CameraPage(page, state, report, camera);
                Lists(page, report);
                drawn = page.End();
            }
        }
        const QByteArray& pdf = buffer.data();
        if (!drawn || !IsWholePdf(pdf))
            RaiseMessage(WriteFailedBecause(target, text::write_pdf_unfinished));
        file.Write(pdf.constData(), size_t(pdf.size()));
        file.Commit();
        return true;
    } catch (const std::exception& e) {
        *error = QString::fromStdString(e.what());
        return false;
    }
}

} // namespace korvex
