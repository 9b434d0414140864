#pragma once

#include "files/ReportContent.h"
#include "model/RenderState.h"

#include <QByteArray>
#include <QString>

namespace korvex {

// The facts of the title page that the program knows on its own: the
// project's path, today's date and the program's version. The device's
// facts are filled in by whoever knows them.
ReportFacts LocalReportFacts(const std::string& projectPath);

// The title page's site and engineer, as the user gave them; the sign-off
// lines below them are left to be filled in by hand.
struct ReportSignOff {
    QString site;
    QString engineer;
};

// Writes the commissioning report of `state` as a PDF: a title page, a
// page per camera with its background, its detectors drawn and named and
// their table, then the output formulas and the problems. The file is
// written the one checked way (framework/AtomicFile.h): a target that is
// not a regular file is refused before the report is drawn, and the file is
// replaced only by a whole PDF written whole; false with `error` (naming the
// path and the reason) otherwise.
bool WriteReportPdf(const QString& path, const RenderState& state, const ReportFacts& facts, QString* error,
                    const ReportSignOff& signOff = {});

// True when `pdf` is a whole PDF file: its header, and at its end the
// cross-reference start and the end marker.
bool IsWholePdf(const QByteArray& pdf);

} // namespace korvex
