#pragma once

#include <cstdint>
#include <vector>

namespace korvex {

// Where an item was last drawn in the composer view; used for hit testing
// and never stored in files.
struct ComposerBox {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const ComposerBox&) const = default;
};

// One node of an output expression tree. The kinds, their texts and the
// editing operations live in the composer module; the model only owns the
// lists. Copying an item copies its whole subtree.
struct ComposerItem {
    enum Kind : uint32_t {
        Zero = 0,
        One = 1,
        InputA = 2,
        InputB = 3,
        LabelY = 4,
        And = 5,
        Or = 6,
        Assign = 7,
        LabelZ = 8,
        InputC = 9,
        InputD = 10,
        Empty = 11,
        Xor = 12,
        LabelCard = 13,
        InputE = 14,
        InputF = 15,
        InputG = 16,
        InputH = 17,
        Blur = 18,
        Blank = 19,
    };

    uint32_t kind = One;
    int32_t number = 0;
    std::vector<ComposerItem> children;
    ComposerBox box;

    ComposerItem() = default;
    explicit ComposerItem(uint32_t kind, int32_t number = 0) : kind(kind), number(number) {}

    // Equal content; the drawing box does not count.
    bool SameContent(const ComposerItem& other) const;
};

} // namespace korvex
