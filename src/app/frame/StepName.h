#pragma once

#include "model/RenderState.h"

#include <string>

namespace korvex {

class Document;

// What one edit did, in a few words of the current language ("move A1",
// "background of card A", "delay of B2"), found by comparing the states
// before and after it. Undo, redo and the comparison pane name steps so.
std::string StepName(const RenderState& before, const RenderState& after);

// The name of the step undo would take back, or redo would make again;
// "" when there is none.
std::string UndoStepName(const Document& document);
std::string RedoStepName(const Document& document);

} // namespace korvex
