#pragma once

#include <QCursor>
#include <QIcon>

namespace korvex {

// Toolbar picture `index` (0..26) at 16 x 16 and 32 x 32.
QIcon ToolbarIcon(int index);
// The pointer of an editing mode (the standard arrow for reshaping).
QCursor ModeCursor(int mode);
// The picture of a problem line (20 x 20).
QIcon ProblemIcon();
// The program's icon.
QIcon ProgramIcon();

} // namespace korvex
