#include "app/frame/ReportCommand.h"

#include "app/frame/FrameSettings.h"
#include "app/report/ReportWriter.h"
#include "files/Problems.h"
#include "files/ProjectFile.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

namespace korvex {

bool AnswerReportOption(int argc, char** argv, int& code) {
    int at = 0;
    for (int i = 1; i < argc && at == 0; ++i)
        if (std::strcmp(argv[i], "--report") == 0)
            at = i;
    if (at == 0)
        return false;
    // korvex --report [--force] PROJECT.kvx OUT.pdf
    std::vector<const char*> files;
    bool force = false;
    for (int i = at + 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--force") == 0)
            force = true;
        else
            files.push_back(argv[i]);
    }
    if (at != 1 || files.size() != 2) {
        std::fprintf(stderr, "usage: korvex --report [--force] PROJECT.kvx OUT.pdf\n");
        code = 2;
        return true;
    }
    // No window system is needed to draw a PDF.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Korvex"));
    StringTable::Select(StartupLanguage());
    const std::string project = files[0];
    const char* const out = files[1];
    try {
        // A report of a file read only in part would present a partial
        // project as the whole one: refused unless asked for.
        ProjectRead read = ReadProjectFile(project);
        if (!read.gaps.Complete()) {
            const std::string why = IncompleteFileText(project, read.gaps);
            std::fprintf(stderr, "korvex: %s\n",
                         FormatText(LoadTextA(force ? text::report_incomplete_forced
                                                    : text::report_incomplete_refused),
                                    {why})
                             .c_str());
            if (!force) {
                code = 1;
                return true;
            }
        }
        const RenderState state = std::move(read.state);
        QString error;
        if (!WriteReportPdf(QString::fromLocal8Bit(out), state, LocalReportFacts(project), &error)) {
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
