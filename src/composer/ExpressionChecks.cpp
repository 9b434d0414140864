#include "composer/ExpressionChecks.h"

#include "composer/Composer.h"
#include "composer/Formula.h"

#include <cstdint>

namespace korvex {

namespace {

bool IsOperator(uint32_t kind) {
    return kind == ComposerItem::And || kind == ComposerItem::Or || kind == ComposerItem::Xor;
}

bool IsInput(uint32_t kind) {
    return CardOfInputKind(kind) >= 0 || kind == ComposerItem::Blur || kind == ComposerItem::Blank;
}

bool HasInput(const ComposerItem& item) {
    if (IsInput(item.kind))
        return true;
    for (const ComposerItem& child : item.children)
        if (HasInput(child))
            return true;
    return false;
}

const ComposerItem* FirstMissingCamera(const ComposerItem& item, size_t cameras) {
    if ((item.kind == ComposerItem::Blur || item.kind == ComposerItem::Blank) &&
        (item.number < 0 || static_cast<size_t>(item.number) >= cameras))
        return &item;
    for (const ComposerItem& child : item.children)
        if (const ComposerItem* found = FirstMissingCamera(child, cameras))
            return found;
    return nullptr;
}

const ComposerItem* FirstSameSides(const ComposerItem& item) {
    if (IsOperator(item.kind) && item.children.size() == 2 &&
        item.children[0].SameContent(item.children[1]) && HasInput(item.children[0]))
        return &item;
    for (const ComposerItem& child : item.children)
        if (const ComposerItem* found = FirstSameSides(child))
            return found;
    return nullptr;
}

// Truth tables, 64 combinations of the inputs per word, evaluated one word
// at a time so that an expression that can change (nearly all of them) is
// known as such after the first word, without building whole tables.
struct Inputs {
    std::vector<uint64_t> keys;
    bool usable = true; // only inputs, constants and operators

    void Collect(const ComposerItem& item) {
        if (IsOperator(item.kind)) {
            if (item.children.size() != 2) {
                usable = false;
                return;
            }
            Collect(item.children[0]);
            Collect(item.children[1]);
        } else if (IsInput(item.kind)) {
            uint64_t key = uint64_t(item.kind) << 32 | uint32_t(item.number);
            for (uint64_t k : keys)
                if (k == key)
                    return;
            keys.push_back(key);
        } else if (item.kind != ComposerItem::Zero && item.kind != ComposerItem::One) {
            usable = false;
        }
    }
    size_t IndexOf(const ComposerItem& item) const {
        uint64_t key = uint64_t(item.kind) << 32 | uint32_t(item.number);
        for (size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == key)
                return i;
        return 0;
    }
};

// Word w of the column of input i: bit j of the table is set when bit i
// of j is.
uint64_t ColumnWord(size_t i, size_t w) {
    static constexpr uint64_t low[6] = {0xAAAAAAAAAAAAAAAAull, 0xCCCCCCCCCCCCCCCCull, 0xF0F0F0F0F0F0F0F0ull,
                                        0xFF00FF00FF00FF00ull, 0xFFFF0000FFFF0000ull, 0xFFFFFFFF00000000ull};
    return i < 6 ? low[i] : ((w >> (i - 6)) & 1) ? ~0ull : 0;
}

// Word w of the expression's truth table; the input of each leaf is looked
// up once, in `slots` (pre-order, one entry per node).
uint64_t Evaluate(const ComposerItem& item, const std::vector<size_t>& slots, size_t& at, size_t w) {
    size_t slot = slots[at++];
    if (item.kind == ComposerItem::Zero)
        return 0;
    if (item.kind == ComposerItem::One)
        return ~0ull;
    if (!IsOperator(item.kind))
        return ColumnWord(slot, w);
    uint64_t a = Evaluate(item.children[0], slots, at, w);
    uint64_t b = Evaluate(item.children[1], slots, at, w);
    return item.kind == ComposerItem::And ? a & b : item.kind == ComposerItem::Or ? a | b : a ^ b;
}

void Slots(const ComposerItem& item, const Inputs& inputs, std::vector<size_t>& out) {
    out.push_back(IsInput(item.kind) ? inputs.IndexOf(item) : 0);
    for (const ComposerItem& child : item.children)
        Slots(child, inputs, out);
}

} // namespace

int ConstantValue(const ComposerItem& item) {
    Inputs inputs;
    inputs.Collect(item);
    if (!inputs.usable || inputs.keys.size() > MaxConstantCheckInputs)
        return -1;
    size_t n = inputs.keys.size();
    size_t words = n <= 6 ? 1 : size_t(1) << (n - 6);
    uint64_t mask = n >= 6 ? ~0ull : (uint64_t(1) << (size_t(1) << n)) - 1;
    std::vector<size_t> slots;
    Slots(item, inputs, slots);
    bool allZero = true, allOne = true;
    for (size_t w = 0; w < words && (allZero || allOne); ++w) {
        size_t at = 0;
        uint64_t word = Evaluate(item, slots, at, w) & mask;
        allZero = allZero && word == 0;
        allOne = allOne && word == mask;
    }
    return allZero ? 0 : allOne ? 1 : -1;
}

std::vector<ExpressionFinding> CheckExpressions(const RenderState& state) {
    std::vector<ExpressionFinding> findings;
    size_t cameras = state.backgrounds.size();
    auto check = [&](const ComposerItem& item, const ComposerRow& row) {
        if (const ComposerItem* node = FirstMissingCamera(item, cameras)) {
            std::string name =
                node->number >= 0 && node->number < 8 ? ItemScriptText(*node) : std::to_string(node->number);
            findings.push_back({ExpressionFinding::MissingCamera, row.Name(), name});
        }
        if (const ComposerItem* node = FirstSameSides(item))
            findings.push_back({ExpressionFinding::SameSides, row.Name(), ItemScriptText(*node)});
        if (IsOperator(item.kind)) {
            int value = ConstantValue(item);
            if (value >= 0)
                findings.push_back({ExpressionFinding::Constant, row.Name(), std::to_string(value)});
        }
    };
    for (size_t i = 0; i < state.composer_y.size(); ++i)
        check(state.composer_y[i], {'Y', i});
    for (size_t i = 0; i < state.composer_z.size(); ++i)
        if (state.composer_z[i].kind != ComposerItem::Empty)
            check(state.composer_z[i], {'Z', i});
    for (size_t i = 0; i < state.composer_a.size(); ++i)
        if (state.composer_a[i].kind != ComposerItem::One)
            check(state.composer_a[i], {'C', i});
    return findings;
}

} // namespace korvex
