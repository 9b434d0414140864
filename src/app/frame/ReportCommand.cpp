#include "app/frame/ReportCommand.h"

#include "app/frame/FrameSettings.h"
#include "app/report/ReportWriter.h"
#include "files/ProjectFile.h"
#include "framework/StringTable.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <exception>

namespace korvex {

bool AnswerReportOption(int argc, char** argv, int& code) {
    int at = 0;
    for (int i = 1; i < argc && at == 0; ++i)
        if (std::strcmp(argv[i], "--report") == 0)
            at = i;
    if (at == 0)
        return false;
    if (argc != 4 || at != 1) {
        std::fprintf(stderr, "usage: korvex --report PROJECT.kvx OUT.pdf\n");
        code = 2;
        return true;
    }
    // No window system is needed to draw a PDF.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Korvex"));
    StringTable::Select(StartupLanguage());
    const std::string project = argv[2];
    try {
        const RenderState state = LoadProject(project);
        QString error;
        if (!WriteReportPdf(QString::fromLocal8Bit(argv[3]), state, LocalReportFacts(project), &error)) {
            std::fprintf(stderr, "korvex: %s\n", error.toLocal8Bit().constData());
            code = 1;
            return true;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvex: %s\n", e.what());
        code = 1;
        return true;
    }
    code = 0;
    return true;
}

} // namespace korvex
