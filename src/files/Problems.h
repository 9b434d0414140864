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

// The problem lines of a state, as the problems list shows them (sorted by
// text, ignoring case): detector numbers out of 1..32 (string 215),
// duplicate card and number per pair of detectors (216), and for each
// composer row its first reference to a missing detector (214), then the
// expression checks of CheckExpressions (composer/ExpressionChecks.h).
std::vector<std::string> ProblemLines(const RenderState& state);

} // namespace korvex
