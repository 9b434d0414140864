#include "composer/ComposerLayout.h"

#include "composer/Composer.h"

#include <algorithm>

namespace korvex {

namespace {

constexpr int32_t Pad = ComposerPadding;

bool IsOperatorNode(const ComposerItem& item) {
    return (item.kind == ComposerItem::And || item.kind == ComposerItem::Or ||
            item.kind == ComposerItem::Xor || item.kind == ComposerItem::Assign) &&
           item.children.size() == 2;
}

char CardLetter(int32_t number) {
    return number >= 0 && number < 8 ? static_cast<char>('A' + number) : '?';
}

class Layout {
public:
    Layout(const TextMeasure& measure, const ComposerTexts& texts, const Detector* selected,
           std::vector<ComposerPaint>& steps)
        : measure(measure), texts(texts), steps(steps) {
        if (selected) {
            redKind = InputKindOfCard(selected->card);
            redNumber = static_cast<int32_t>(selected->number);
        }
        for (uint32_t kind : {ComposerItem::And, ComposerItem::Or, ComposerItem::Xor, ComposerItem::Assign})
            glyphs[GlyphSlot(kind)] = measure.Glyph(kind);
    }

    // First pass: the size of every node, kept in its box as (0, 0, w, h).
    LayoutSize Measure(ComposerItem& node) {
        LayoutSize size;
        if (IsOperatorNode(node)) {
            LayoutSize a = Measure(node.children[0]);
            LayoutSize b = Measure(node.children[1]);
            LayoutSize g = glyphs[GlyphSlot(node.kind)];
            int32_t h = std::max({a.height, g.height, b.height});
            size = {a.width + g.width + b.width + 4 * Pad, h + 2 * Pad};
        } else {
            Leaf leaf = MeasureLeaf(node);
            size = {leaf.w1 + leaf.w2 + 2 * Pad, leaf.h + 2 * Pad};
        }
        node.box = {0, 0, size.width, size.height};
        return size;
    }

    // Second pass: moves every box to (x, y) plus its place in the parent
    // and records the drawing steps. `path` is the rest of the highlight
    // path ("X" = this node), or null when the selection lies elsewhere.
    void Place(ComposerItem& node, int32_t x, int32_t y, const char* path, bool framed) {
        int32_t w = node.box.right, h = node.box.bottom;
        node.box = {x, y, x + w, y + h};
        bool selected = path && path[0] == 'X' && path[1] == '\0';
        if (!IsOperatorNode(node)) {
            PlaceLeaf(node, selected);
            return;
        }
        if (framed)
            steps.push_back({ComposerPaint::Box,
                             selected ? ComposerPaint::SelectedFrame : ComposerPaint::GreyFrame,
                             false,
                             0,
                             node.box,
                             {}});
        ComposerItem& a = node.children[0];
        ComposerItem& b = node.children[1];
        int32_t inner = h - 2 * Pad;
        LayoutSize g = glyphs[GlyphSlot(node.kind)];
        int32_t aw = a.box.right, ah = a.box.bottom, bh = b.box.bottom;
        Place(a, x + Pad, y + (inner - ah) / 2 + Pad, path && path[0] == 'A' ? path + 1 : nullptr, true);
        ComposerBox glyphBox{x + aw + 2 * Pad, y + (inner - g.height) / 2 + Pad, 0, 0};
        glyphBox.right = glyphBox.left + g.width;
        glyphBox.bottom = glyphBox.top + g.height;
        steps.push_back({ComposerPaint::Glyph, ComposerPaint::NoFrame, false, node.kind, glyphBox, {}});
        Place(b, x + aw + g.width + 3 * Pad, y + (inner - bh) / 2 + Pad,
              path && path[0] == 'B' ? path + 1 : nullptr, true);
    }

private:
    struct Leaf {
        std::string main, note;
        int32_t w1 = 0, h1 = 0, w2 = 0, h = 0;
    };

    static size_t GlyphSlot(uint32_t kind) {
        return kind == ComposerItem::And   ? 0
               : kind == ComposerItem::Or  ? 1
               : kind == ComposerItem::Xor ? 2
                                           : 3;
    }

    Leaf MeasureLeaf(const ComposerItem& node) const {
        Leaf leaf;
        leaf.main = LeafText(node, texts);
        LayoutSize m = measure.MainText(leaf.main);
        leaf.w1 = m.width;
        leaf.h1 = m.height;
        leaf.h = m.height;
        if (node.kind == ComposerItem::Blur || node.kind == ComposerItem::Blank) {
            leaf.note = node.kind == ComposerItem::Blur ? texts.blurNote : texts.blankNote;
            LayoutSize n = measure.NoteText(leaf.note);
            leaf.w2 = n.width;
            leaf.h = std::max(m.height, n.height + 6);
        }
        return leaf;
    }

    void PlaceLeaf(const ComposerItem& node, bool selected) {
        Leaf leaf = MeasureLeaf(node);
        bool red = redKind < 20 && node.kind == redKind && node.number == redNumber;
        const ComposerBox& box = node.box;
        steps.push_back({ComposerPaint::Box,
                         selected ? ComposerPaint::SelectedFrame : ComposerPaint::GreyFrame,
                         red,
                         0,
                         box,
                         {}});
        steps.push_back({ComposerPaint::MainText,
                         ComposerPaint::NoFrame,
                         red,
                         0,
                         {box.left + Pad, box.top + Pad, box.left + Pad + leaf.w1, box.top + Pad + leaf.h1},
                         std::move(leaf.main)});
        if (!leaf.note.empty() || leaf.w2 > 0) {
            int32_t nx = box.left + leaf.w1 + Pad, ny = box.top + 10;
            steps.push_back({ComposerPaint::NoteText,
                             ComposerPaint::NoFrame,
                             red,
                             0,
                             {nx, ny, nx + leaf.w2, box.bottom - Pad},
                             std::move(leaf.note)});
        }
    }

    const TextMeasure& measure;
    const ComposerTexts& texts;
    std::vector<ComposerPaint>& steps;
    LayoutSize glyphs[4];
    uint32_t redKind = 20;
    int32_t redNumber = 0;
};

} // namespace

std::string LeafText(const ComposerItem& item, const ComposerTexts& texts) {
    auto number = [&item] { return std::to_string(static_cast<uint32_t>(item.number)); };
    switch (item.kind) {
    case ComposerItem::Zero:
        return "0";
    case ComposerItem::One:
        return "1";
    case ComposerItem::LabelY:
        return "Y" + number();
    case ComposerItem::LabelZ:
        return "Z" + number();
    case ComposerItem::LabelCard:
        return std::string(1, CardLetter(item.number)) + "c";
    case ComposerItem::Blur:
    case ComposerItem::Blank:
        return std::string(1, CardLetter(item.number));
    default: {
        int32_t card = CardOfInputKind(item.kind);
        if (card >= 0)
            return std::string(1, static_cast<char>('A' + card)) + number();
        return texts.empty;
    }
    }
}

ComposerPicture LayoutComposer(const RenderState& state, const Selection& chosen, const TextMeasure& measure,
                               const ComposerTexts& texts) {
    ComposerPicture picture;
    picture.steps.reserve(64 +
                          4 * (state.composer_y.size() + state.composer_z.size() + state.composer_a.size()));
    picture.placed = {state.composer_y, state.composer_z, state.composer_a};
    Layout layout(measure, texts, state.DetectorAt(chosen.detector), picture.steps);
    const std::string& selection = chosen.composer;
    struct List {
        std::vector<ComposerItem>* rows;
        char letter;
        uint32_t labelKind;
    };
    const List lists[] = {{&picture.placed.y, 'Y', ComposerItem::LabelY},
                          {&picture.placed.z, 'Z', ComposerItem::LabelZ},
                          {&picture.placed.a, 'C', ComposerItem::LabelCard}};
    // The row root "label ⇐ expression" is drawn without a frame; the
    // expression itself stays in the placed copy, so its boxes land there.
    ComposerItem root(ComposerItem::Assign);
    root.children.resize(2);
    int32_t y = ComposerRowGap;
    for (const List& list : lists) {
        char rowBase = list.letter == 'C' ? 'a' : '0';
        for (size_t i = 0; i < list.rows->size(); ++i) {
            ComposerItem& expression = (*list.rows)[i];
            ComposerItem& label = root.children[0];
            label.kind = list.labelKind;
            label.number = static_cast<int32_t>(list.letter == 'C' ? i : i + 1);
            // Measure and place the expression in the root's second slot
            // without copying it: swap it in and back.
            std::swap(root.children[1], expression);
            std::string highlight;
            const char* path = nullptr;
            if (selection.size() >= 3 &&
                (selection[0] == list.letter ||
                 (list.letter == 'C' && selection[0] != 'Y' && selection[0] != 'Z')) &&
                static_cast<size_t>(static_cast<unsigned char>(selection[1])) ==
                    static_cast<size_t>(rowBase) + i) {
                highlight = "B" + selection.substr(2);
                path = highlight.c_str();
            }
            LayoutSize size = layout.Measure(root);
            layout.Place(root, ComposerRowX, y, path, false);
            std::swap(root.children[1], expression);
            picture.width = std::max(picture.width, size.width + 8);
            picture.height += size.height + ComposerRowGap;
            y += size.height + ComposerRowGap;
            ++picture.rows;
        }
    }
    return picture;
}

} // namespace korvex
