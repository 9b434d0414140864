#pragma once

// Checks of the output expressions beyond the missing detectors: faults
// the device would accept but that are almost surely not what the engineer
// meant.

#include "framework/TextIds.h"
#include "model/RenderState.h"

#include <string>
#include <vector>

namespace korvex {

struct ExpressionFinding {
    enum Code : unsigned {
        // a blur or blank condition of a camera the project does not have
        MissingCamera = text::composer_check_missing_camera,
        // an operator whose two sides are the same input
        SameSides = text::composer_check_self_combination,
        // an expression with operators whose value never changes
        Constant = text::composer_check_constant,
    };
    Code code;
    std::string row;    // "Y1", "Z5", "Ac"
    std::string detail; // the condition ("Cblur"), the operator's text, or the constant
};

// At most one finding of each code per row (the first in the order the row
// is written), rows in the order Y, Z, card rows. Unused Z rows and card
// rows at their default are skipped; a row that is a bare constant is
// meant, only a row whose operators cancel out is reported as constant.
std::vector<ExpressionFinding> CheckExpressions(const RenderState& state);

// The most distinct inputs an expression may have for the constant check,
// which evaluates every combination of them (2^16 at most).
constexpr size_t MaxConstantCheckInputs = 16;

// 0 or 1 when `item` has the same value for every combination of its
// inputs; -1 when it can change, holds something other than inputs,
// constants and operators, or has more inputs than the check evaluates.
int ConstantValue(const ComposerItem& item);

} // namespace korvex
