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

// Truth tables, 64 combinations of the inputs per word.
using Table = std::vector<uint64_t>;

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

// Column of input i: bit j of the table is set when bit i of j is.
Table Column(size_t i, size_t words) {
    static constexpr uint64_t low[6] = {0xAAAAAAAAAAAAAAAAull, 0xCCCCCCCCCCCCCCCCull, 0xF0F0F0F0F0F0F0F0ull,
                                        0xFF00FF00FF00FF00ull, 0xFFFF0000FFFF0000ull, 0xFFFFFFFF00000000ull};
    Table t(words);
    for (size_t w = 0; w < words; ++w)
        t[w] = i < 6 ? low[i] : ((w >> (i - 6)) & 1) ? ~0ull : 0;
    return t;
}

Table Evaluate(const ComposerItem& item, const Inputs& inputs, size_t words) {
    if (item.kind == ComposerItem::Zero)
        return Table(words, 0);
    if (item.kind == ComposerItem::One)
        return Table(words, ~0ull);
    if (!IsOperator(item.kind))
        return Column(inputs.IndexOf(item), words);
    Table a = Evaluate(item.children[0], inputs, words);
    Table b = Evaluate(item.children[1], inputs, words);
    for (size_t w = 0; w < words; ++w)
        a[w] = item.kind == ComposerItem::And  ? a[w] & b[w]
               : item.kind == ComposerItem::Or ? a[w] | b[w]
                                               : a[w] ^ b[w];
    return a;
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
    Table t = Evaluate(item, inputs, words);
    bool allZero = true, allOne = true;
    for (uint64_t w : t) {
        allZero = allZero && (w & mask) == 0;
        allOne = allOne && (w & mask) == mask;
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
