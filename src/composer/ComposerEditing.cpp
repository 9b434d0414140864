#include "composer/Composer.h"

#include "model/Document.h"

namespace korvex {

ComposerSelection ResolveSelection(RenderState& state) {
    ComposerSelection result;
    const std::string& path = state.composer_selection;
    if (path.size() < 2)
        return result;
    ComposerItem* rowItem = state.SelectedComposerItem();
    if (!rowItem)
        return result;
    char first = path[0];
    result.list = &state.SelectedComposerList();
    result.row = static_cast<size_t>((first == 'Y' || first == 'Z') ? path[1] - '0' : path[1] - 'a');
    result.rowItem = rowItem;
    ComposerItem* node = rowItem;
    for (size_t i = 2; i < path.size(); ++i) {
        char step = path[i];
        if (step == 'X') {
            // The node is reached; anything after the X names nothing.
            if (i + 1 == path.size())
                result.node = node;
            return result;
        }
        size_t child = step == 'A' ? 0 : step == 'B' ? 1 : 2;
        if (child >= node->children.size())
            return result;
        node = &node->children[child];
    }
    return result; // no terminating X
}

std::string HitPath(const ComposerItem& item, int32_t x, int32_t y) {
    if (x < item.box.left || x >= item.box.right || y < item.box.top || y >= item.box.bottom)
        return {};
    for (size_t i = 0; i < item.children.size() && i < 2; ++i) {
        std::string sub = HitPath(item.children[i], x, y);
        if (!sub.empty())
            return (i == 0 ? "A" : "B") + sub;
    }
    return "X";
}

std::string SelectionAt(const RenderState& state, int32_t x, int32_t y) {
    struct ListPrefix {
        const std::vector<ComposerItem>* list;
        char letter;
        char rowBase;
    };
    const ListPrefix lists[] = {{&state.composer_y, 'Y', '0'}, {&state.composer_z, 'Z', '0'},
                                {&state.composer_a, 'C', 'a'}};
    for (const ListPrefix& l : lists) {
        for (size_t row = 0; row < l.list->size(); ++row) {
            std::string path = HitPath((*l.list)[row], x, y);
            if (!path.empty()) {
                std::string selection;
                selection += l.letter;
                selection += static_cast<char>(l.rowBase + static_cast<char>(row));
                return selection + path;
            }
        }
    }
    return {};
}

bool IsComposerCommand(unsigned id) {
    return id == CmdOr || id == CmdAnd || id == CmdXor || id == CmdZero || id == CmdOne || id == CmdEmpty ||
           id == CmdResetRow || (id >= CmdInputFirst && id <= CmdInputLast) ||
           (id >= CmdBlurFirst && id < CmdBlurFirst + 8) || (id >= CmdBlankFirst && id < CmdBlankFirst + 8);
}

namespace {

void SetLeaf(ComposerItem& node, uint32_t kind, int32_t number) {
    node.kind = kind;
    node.number = number;
    node.children.clear();
}

// Turns `node` into operator `op`: an operator only changes its kind; any
// other node becomes the operator's first child, with `second` beside it.
void MakeOperator(ComposerItem& node, uint32_t op, uint32_t second) {
    if (node.kind == ComposerItem::And || node.kind == ComposerItem::Or || node.kind == ComposerItem::Xor) {
        node.kind = op;
        return;
    }
    ComposerItem left = node;
    if (left.kind == ComposerItem::Empty)
        SetLeaf(left, second, 0);
    left.box = {};
    node.children.clear();
    node.children.push_back(std::move(left));
    node.children.emplace_back(second);
    node.kind = op;
    node.number = 0;
}

void Apply(ComposerSelection& sel, unsigned id) {
    ComposerItem& node = *sel.node;
    switch (id) {
    case CmdOr:
        MakeOperator(node, ComposerItem::Or, ComposerItem::Zero);
        return;
    case CmdAnd:
        MakeOperator(node, ComposerItem::And, ComposerItem::One);
        return;
    case CmdXor:
        MakeOperator(node, ComposerItem::Xor, ComposerItem::One);
        return;
    case CmdZero:
        SetLeaf(node, ComposerItem::Zero, 0);
        return;
    case CmdOne:
        SetLeaf(node, ComposerItem::One, 0);
        return;
    case CmdEmpty:
        SetLeaf(node, ComposerItem::Empty, 0);
        return;
    default:
        break;
    }
    if (id >= CmdInputFirst && id <= CmdInputLast) {
        unsigned offset = id - CmdInputFirst;
        SetLeaf(node, InputKindOfCard(offset / 32), static_cast<int32_t>(offset % 32 + 1));
    } else if (id >= CmdBlurFirst && id < CmdBlurFirst + 8) {
        SetLeaf(node, ComposerItem::Blur, static_cast<int32_t>(id - CmdBlurFirst));
    } else if (id >= CmdBlankFirst && id < CmdBlankFirst + 8) {
        SetLeaf(node, ComposerItem::Blank, static_cast<int32_t>(id - CmdBlankFirst));
    }
}

} // namespace

bool ApplyComposerCommand(Document& document, unsigned id) {
    if (!IsComposerCommand(id))
        return false;
    // Check on the current state first so that a command that cannot apply
    // leaves no empty undo step behind.
    if (!ResolveSelection(document.Current()).node)
        return false;
    RenderState& state = document.NewRenderState();
    ComposerSelection sel = ResolveSelection(state);
    if (id == CmdResetRow) {
        uint32_t kind = state.composer_selection[0] == 'Z' ? ComposerItem::Empty : ComposerItem::One;
        SetLeaf(*sel.rowItem, kind, 0);
    } else {
        Apply(sel, id);
    }
    return true;
}

bool PutSelectedDetector(Document& document, int32_t x, int32_t y) {
    RenderState& current = document.Current();
    const Detector* detector = current.SelectedDetector();
    if (!detector)
        return false;
    // Selecting is not an edit: it changes the current state in place.
    current.composer_selection = SelectionAt(current, x, y);
    if (!ResolveSelection(current).node)
        return false;
    uint32_t kind = InputKindOfCard(detector->card);
    if (kind >= 20)
        return false;
    int32_t number = static_cast<int32_t>(detector->number);
    RenderState& state = document.NewRenderState();
    SetLeaf(*ResolveSelection(state).node, kind, number);
    return true;
}

} // namespace korvex
