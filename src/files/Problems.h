#pragma once

#include "model/RenderState.h"

#include <string>
#include <vector>

namespace korvex {

// Formats a string-table text with typed arguments: each "%s", "%c", "%u"
// or "%d" (with optional flags and width, which are ignored) takes the next
// argument as it stands, "%%" gives "%". Missing arguments give nothing;
// surplus ones are dropped. The text never reaches printf, so a translated
// text with wrong placeholders cannot do harm.
std::string FormatText(const std::string& format, const std::vector<std::string>& args);

// One line of the problems list. A problem (a detector number out of
// 1..32, text::problems_number_range; a duplicate card and number per pair of detectors,
// text::problems_number_taken; a composer row's first reference to a missing detector,
// text::problems_unknown_detector) stops an upload. A warning (the expression checks of CheckExpressions in
// composer/ExpressionChecks.h: conditions of missing cameras, operators
// with two identical sides, constant outputs) is shown but stops nothing:
// the device accepts such a program.
struct ProblemLine {
    std::string text;
    bool warning = false;
};

// The lines of a state as the problems list shows them: the problems
// sorted by text ignoring case, then the warnings sorted the same way.
std::vector<ProblemLine> ListProblems(const RenderState& state);

// True when the state has a problem that stops an upload; warnings do not
// count.
bool HasBlockingProblems(const RenderState& state);

// The texts of ListProblems, in its order.
std::vector<std::string> ProblemLines(const RenderState& state);

} // namespace korvex
