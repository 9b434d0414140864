#include "composer/Composer.h"
#include "model/Document.h"

namespace korvex {

ComposerSelection ResolveSelection(RenderState& state, const std::string& path) {
    ComposerSelection result;
    if (path.size() < 2)
        return result;
    const char first = path[0];
    std::vector<ComposerItem>& list = first == 'Y'   ? state.composer_y
                                      : first == 'Z' ? state.composer_z
                                                     : state.composer_a;
    const int row = (first == 'Y' || first == 'Z') ? path[1] - '0' : path[1] - 'a';
    if (row < 0 || static_cast<size_t>(row) >= list.size())
        return result;
    ComposerItem* rowItem = &list[static_cast<size_t>(row)];
    result.list = &list;
    result.row = static_cast<size_t>(row);
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

const ComposerItem* NodeAt(const RenderState& state, const std::string& path) {
    // The same walk as ResolveSelection's through the read-only members, so
    // that looking a node up never gives a shared formula copies of its own.
    if (path.size() < 2)
        return nullptr;
    const char first = path[0];
    const std::vector<ComposerItem>& list = first == 'Y'   ? state.composer_y
                                            : first == 'Z' ? state.composer_z
                                                           : state.composer_a;
    const int row = (first == 'Y' || first == 'Z') ? path[1] - '0' : path[1] - 'a';
    if (row < 0 || static_cast<size_t>(row) >= list.size())
        return nullptr;
    const ComposerItem* node = &list[static_cast<size_t>(row)];
    for (size_t i = 2; i < path.size(); ++i) {
        const char step = path[i];
        if (step == 'X')
            return i + 1 == path.size() ? node : nullptr;
        const size_t child = step == 'A' ? 0 : step == 'B' ? 1 : 2;
        if (child >= node->children.size())
            return nullptr;
        node = &node->children[child];
    }
    return nullptr; // no terminating X
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

std::string SelectionAt(const ComposerRows& placed, int32_t x, int32_t y) {
    struct ListPrefix {
        const std::vector<ComposerItem>* list;
        char letter;
        char rowBase;
    };
    const ListPrefix lists[] = {{&placed.y, 'Y', '0'}, {&placed.z, 'Z', '0'}, {&placed.a, 'C', 'a'}};
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
    node.children.clear();
    node.children.push_back(std::move(left));
    node.children.emplace_back(second);
    node.kind = op;
    node.number = 0;
}

// Why `op` cannot apply to any node, or None when it can.
EditRefusal OpRefusal(const ComposerOp& op) {
    switch (op.kind) {
    case ComposerOpKind::Input:
        if (op.card >= kComposerCards)
            return EditRefusal::NoSuchCard;
        if (op.number < 1 || op.number > kComposerInputsPerCard)
            return EditRefusal::NotACommand;
        return EditRefusal::None;
    case ComposerOpKind::Blur:
    case ComposerOpKind::Blank:
        return op.card < kComposerCards ? EditRefusal::None : EditRefusal::NoSuchCard;
    case ComposerOpKind::Or:
    case ComposerOpKind::And:
    case ComposerOpKind::Xor:
    case ComposerOpKind::Zero:
    case ComposerOpKind::One:
    case ComposerOpKind::Empty:
    case ComposerOpKind::ResetRow:
        return EditRefusal::None;
    }
    return EditRefusal::NotACommand;
}

// Changes the selected node as `op` says (every op but ResetRow; `op` has
// passed OpRefusal).
void Apply(ComposerItem& node, const ComposerOp& op) {
    switch (op.kind) {
    case ComposerOpKind::Or:
        MakeOperator(node, ComposerItem::Or, ComposerItem::Zero);
        return;
    case ComposerOpKind::And:
        MakeOperator(node, ComposerItem::And, ComposerItem::One);
        return;
    case ComposerOpKind::Xor:
        MakeOperator(node, ComposerItem::Xor, ComposerItem::One);
        return;
    case ComposerOpKind::Zero:
        SetLeaf(node, ComposerItem::Zero, 0);
        return;
    case ComposerOpKind::One:
        SetLeaf(node, ComposerItem::One, 0);
        return;
    case ComposerOpKind::Empty:
        SetLeaf(node, ComposerItem::Empty, 0);
        return;
    case ComposerOpKind::Input:
        SetLeaf(node, InputKindOfCard(op.card), static_cast<int32_t>(op.number));
        return;
    case ComposerOpKind::Blur:
        SetLeaf(node, ComposerItem::Blur, static_cast<int32_t>(op.card));
        return;
    case ComposerOpKind::Blank:
        SetLeaf(node, ComposerItem::Blank, static_cast<int32_t>(op.card));
        return;
    case ComposerOpKind::ResetRow:
        return;
    }
}

} // namespace

EditResult ApplyComposerOp(Document& document, const ComposerOp& op) {
    if (EditRefusal refusal = OpRefusal(op); refusal != EditRefusal::None)
        return {refusal, -1};
    const std::string path = document.ComposerPath();
    // Checked on the current state first, so that an op that cannot apply
    // leaves no empty undo step behind.
    if (!NodeAt(document.Current(), path))
        return {EditRefusal::NoSuchItem, -1};
    RenderState next = document.Current();
    ComposerSelection sel = ResolveSelection(next, path);
    if (op.kind == ComposerOpKind::ResetRow) {
        uint32_t kind = path[0] == 'Z' ? ComposerItem::Empty : ComposerItem::One;
        SetLeaf(*sel.rowItem, kind, 0);
    } else {
        Apply(*sel.node, op);
    }
    document.NewRenderState(std::move(next));
    return {EditRefusal::None, document.SelectedIndex()};
}

EditResult PutSelectedDetector(Document& document, const std::string& path) {
    const Detector* detector = document.SelectedDetector();
    if (!detector)
        return {EditRefusal::NoSelection, -1};
    if (!NodeAt(document.Current(), path))
        return {EditRefusal::NoSuchItem, -1};
    const uint32_t kind = InputKindOfCard(detector->card);
    if (kind >= 20)
        return {EditRefusal::NoSuchCard, -1};
    const auto number = static_cast<int32_t>(detector->number);
    RenderState next = document.Current();
    SetLeaf(*ResolveSelection(next, path).node, kind, number);
    const int32_t selected = document.SelectedIndex();
    document.NewRenderState(std::move(next), Selection{selected, path});
    return {EditRefusal::None, selected};
}

} // namespace korvex
