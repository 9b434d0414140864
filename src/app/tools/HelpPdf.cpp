// Turns the user guide (Markdown) into "Help.pdf" beside the program at build
// time: korvex_help_pdf <guide.md> <Help.pdf>
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <QFileInfo>

#include <cstdio>

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

    QTextDocument document;
    document.setBaseUrl(QUrl::fromLocalFile(QFileInfo(in.fileName()).absolutePath() + QStringLiteral("/")));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    document.setDefaultStyleSheet(QStringLiteral("h1 { color: #1f4e79; } h2 { color: #1f4e79; } "
                                                 "code { font-family: 'DejaVu Sans Mono'; }"));
    document.setMarkdown(markdown);
    // print() lays the document out over as many pages as it needs.
    document.print(&writer);
    return 0;
}
