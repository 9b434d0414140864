// Turns the user guide (Markdown) into "Help.pdf" beside the program at build
// time: korvex_help_pdf <guide.md> <Help.pdf>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMap>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextDocument>
#include <cstdio>

namespace {

// The guide's pictures, handed out by name. Printing lays out a copy of the
// document, which asks its original for resources through loadResource.
class GuideDocument : public QTextDocument {
public:
    QMap<QString, QImage> pictures;

protected:
    QVariant loadResource(int type, const QUrl& name) override {
        if (type == QTextDocument::ImageResource) {
            for (auto it = pictures.constBegin(); it != pictures.constEnd(); ++it)
                if (name.toString().endsWith(it.key()))
                    return it.value();
        }
        return QTextDocument::loadResource(type, name);
    }
};

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: korvex_help_pdf <guide.md> <Help.pdf>\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    QString markdown = QString::fromUtf8(in.readAll());

    QPdfWriter writer(QString::fromLocal8Bit(argv[2]));
    writer.setTitle(QStringLiteral("Korvex user guide"));
    writer.setCreator(QStringLiteral("Korvex"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter);
    writer.setResolution(300);

    GuideDocument document;
    document.setBaseUrl(QUrl::fromLocalFile(QFileInfo(in.fileName()).absolutePath() + QStringLiteral("/")));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    document.setDefaultStyleSheet(QStringLiteral("h1 { color: #1f4e79; } h2 { color: #1f4e79; } "
                                                 "code { font-family: 'DejaVu Sans Mono'; }"));
    // Pictures are scaled to fit within the text width of the page.
    QString folder = QFileInfo(in.fileName()).absolutePath();
    QRegularExpression picture(QStringLiteral("!\\[[^\\]]*\\]\\(([^)]+)\\)"));
    for (auto it = picture.globalMatch(markdown); it.hasNext();) {
        QString name = it.next().captured(1);
        QImage image(folder + QLatin1Char('/') + name);
        if (image.isNull()) {
            std::fprintf(stderr, "korvex_help_pdf: no picture %s\n", qPrintable(name));
            continue;
        }
        if (image.width() > 540)
            image = image.scaledToWidth(540, Qt::SmoothTransformation);
        document.pictures.insert(name, image);
    }
    document.setMarkdown(markdown);
    // print() lays the document out over as many pages as it needs.
    document.print(&writer);
    return 0;
}
