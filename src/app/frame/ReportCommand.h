#pragma once

namespace korvex {

// `korvex --report PROJECT OUT.pdf` writes the project's commissioning
// report without opening a window (on the offscreen platform), for
// scripts. True when the arguments ask for it; `code` is then the exit
// status: 0 written, 1 the project or the PDF failed, 2 bad usage.
bool AnswerReportOption(int argc, char** argv, int& code);

} // namespace korvex
