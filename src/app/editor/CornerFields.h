#pragma once

#include "model/KeyboardEdits.h"
#include "model/RenderState.h"

#include <QGroupBox>
#include <array>
#include <functional>

class QLabel;
class QLineEdit;

namespace korvex {

// The inspector's corner positions: one row per corner of the selected
// detector (two for a line) with its X and Y in picture coordinates (a
// 180-wide picture shows columns 0..179, not canvas columns). A typed value
// is applied when the field is left or Enter is pressed; a value outside the
// picture, or one that is not a number, is refused and the field marked
// until it is typed again or the corner moves.
class CornerFields : public QGroupBox {
    Q_OBJECT
public:
    // Puts a corner at picture coordinates; the answer says whether it was
    // refused.
    using Apply = std::function<CornerOutcome(int32_t corner, Point picture)>;

    explicit CornerFields(Apply apply, QWidget* parent = nullptr);

    // Shows the detector `index` of `state` (or nothing with -1). A field
    // whose value did not change keeps its text and mark.
    void Show(const RenderState& state, int32_t index);

    QLineEdit* Field(int corner, int axis) const { return fields[size_t(corner)][size_t(axis)]; }
    bool Marked(int corner, int axis) const;

private:
    void Commit(int corner);
    void SetMarked(int corner, int axis, bool on);

    Apply apply;
    std::array<QLabel*, 4> labels{};
    std::array<std::array<QLineEdit*, 2>, 4> fields{};
    std::array<std::array<int32_t, 2>, 4> shown{};
    std::array<std::array<bool, 2>, 4> known{};
    int32_t shownIndex = -1;
    int32_t lastColumn = 0, lastRow = 0;
};

} // namespace korvex
