#pragma once

// The arithmetic of the composer picture, free of any toolkit: every row as
// nested boxes, kept with the picture for hit testing, and
// a list of drawing steps that the view paints once into its picture. Text
// sizes come through TextMeasure, so the layout is tested without a screen.

#include "composer/Composer.h"
#include "model/RenderState.h"
#include "model/Selection.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

struct LayoutSize {
    int32_t width = 0;
    int32_t height = 0;
};

// Sizes of the three kinds of text in the picture.
class TextMeasure {
public:
    virtual ~TextMeasure() = default;
    // A leaf's main text ("A3", "Y1", the unused-slot text), in the view's font.
    virtual LayoutSize MainText(const std::string& text) const = 0;
    // The small note beside a blur or blank leaf.
    virtual LayoutSize NoteText(const std::string& text) const = 0;
    // The sign of operator kind And, Or, Xor or Assign.
    virtual LayoutSize Glyph(uint32_t operatorKind) const = 0;
};

// Texts of the language in use: the unused-slot text (text::composer_unused)
// and the notes of blur and blank leaves (text::composer_blur, composer_blank).
struct ComposerTexts {
    std::string empty;
    std::string blurNote;
    std::string blankNote;
};

// One drawing step, in picture coordinates.
struct ComposerPaint {
    enum Kind : uint8_t { Box, MainText, NoteText, Glyph };
    enum Frame : uint8_t { NoFrame, GreyFrame, SelectedFrame };
    Kind kind = Box;
    Frame frame = NoFrame; // Box: the 1-pixel frame inside its rectangle
    bool red = false;      // Box: filled red (else white); texts: drawn white
    uint32_t glyph = 0;    // Glyph: the operator kind
    ComposerBox rect;
    std::string text;
};

struct ComposerPicture {
    int32_t width = 8;
    int32_t height = 4;
    size_t rows = 0;
    std::vector<ComposerPaint> steps;
    // Copies of the state's rows with the boxes of this layout.
    ComposerRows placed;
};

// Drawing constants.
constexpr int32_t ComposerPadding = 4; // inside every box, and the gap between boxes
constexpr int32_t ComposerRowX = 4;
constexpr int32_t ComposerRowGap = 4;

// Lays out every row of `state` (Y rows, Z rows with the unused ones, card
// rows), each as "label ⇐ expression", one under the other from (4, 4).
// The boxes of every expression node, in picture coordinates, go into the
// picture's placed copies of the rows (the state is not touched); the node
// named by `selection`'s composer path is framed as selected, and inputs
// equal to its selected detector are red.
ComposerPicture LayoutComposer(const RenderState& state, const Selection& selection,
                               const TextMeasure& measure, const ComposerTexts& texts);

// The text a leaf shows (its main text; the note is separate).
std::string LeafText(const ComposerItem& item, const ComposerTexts& texts);

} // namespace korvex
