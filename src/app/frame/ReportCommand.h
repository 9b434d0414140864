#pragma once

namespace korvex {

// `korvex --report [--force] PROJECT OUT.pdf` writes the project's
// commissioning report without opening a window (on the offscreen
// platform), for scripts. A project file read only in part is refused
// unless --force is given. True when the arguments ask for it; `code` is
// then the exit status: 0 written, 1 the project (or its file is
// incomplete) or the PDF failed, 2 bad usage.
bool AnswerReportOption(int argc, char** argv, int& code);

} // namespace korvex
