#pragma once

#include "files/ReportContent.h"
#include "model/RenderState.h"

#include <QString>

namespace korvex {

// The facts of the title page that the program knows on its own: the
// project's path, today's date and the program's version. The device's
// facts are filled in by whoever knows them.
ReportFacts LocalReportFacts(const std::string& projectPath);

// Writes the commissioning report of `state` as a PDF: a title page, a
// page per camera with its background, its detectors drawn and named and
// their table, then the output formulas and the problems. The file is
// replaced only when the whole report was written; false with `error` set
// otherwise.
bool WriteReportPdf(const QString& path, const RenderState& state, const ReportFacts& facts, QString* error);

} // namespace korvex
