#pragma once

#include "app/export/ExportDialog.h"

#include <memory>

namespace korvex {

// The export dialog's worker: the "Export" thread with its job, reporting
// to the dialog through posted calls. Made by the dialog and destroyed by
// it, which stops the thread first.
std::unique_ptr<ExportRunner> MakeExportRunner(ExportDialog& dialog);

} // namespace korvex
