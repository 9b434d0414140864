#pragma once

#include "model/Document.h"

#include <utility>

namespace korvex::test {

// Sets a document up the way an editor would: copies the current state,
// lets `change` fill the copy in and pushes it as one new state.
template <typename Change> const RenderState& PushEdited(Document& document, Change change) {
    RenderState next = document.Current();
    change(next);
    return document.NewRenderState(std::move(next));
}

} // namespace korvex::test
