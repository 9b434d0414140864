#include "composer/Composer.h"

namespace korvex {

uint32_t InputKindOfCard(uint32_t card) {
    static constexpr uint32_t kinds[8] = {ComposerItem::InputA, ComposerItem::InputB, ComposerItem::InputC,
                                          ComposerItem::InputD, ComposerItem::InputE, ComposerItem::InputF,
                                          ComposerItem::InputG, ComposerItem::InputH};
    return card < 8 ? kinds[card] : 20;
}

int32_t CardOfInputKind(uint32_t kind) {
    for (uint32_t c = 0; c < 8; ++c)
        if (InputKindOfCard(c) == kind)
            return static_cast<int32_t>(c);
    return -1;
}

namespace {

const char CardLetters[] = "ABCDEFGH";

void AppendText(const ComposerItem& item, std::string& out) {
    switch (item.kind) {
    case ComposerItem::Zero:
        out += '0';
        return;
    case ComposerItem::One:
        out += '1';
        return;
    case ComposerItem::And:
    case ComposerItem::Or:
    case ComposerItem::Xor: {
        const char* sign = item.kind == ComposerItem::And ? " & " : item.kind == ComposerItem::Or ? " | " : " ^ ";
        out += '(';
        if (item.children.size() > 0)
            AppendText(item.children[0], out);
        out += sign;
        if (item.children.size() > 1)
            AppendText(item.children[1], out);
        out += ')';
        return;
    }
    case ComposerItem::Blur:
    case ComposerItem::Blank:
        if (item.number >= 0 && item.number < 8) {
            out += CardLetters[item.number];
            out += item.kind == ComposerItem::Blur ? "blur" : "blank";
        }
        return;
    default: {
        int32_t card = CardOfInputKind(item.kind);
        if (card >= 0) {
            out += CardLetters[card];
            out += std::to_string(static_cast<uint32_t>(item.number));
        }
        return;
    }
    }
}

} // namespace

std::string ItemScriptText(const ComposerItem& item) {
    std::string text;
    AppendText(item, text);
    return text;
}

std::string ComposeScript(const RenderState& state) {
    std::string script;
    auto line = [&script](char letter, size_t number, const char* suffix, const ComposerItem& item) {
        script += letter;
        if (number > 0)
            script += std::to_string(number);
        script += suffix;
        AppendText(item, script);
        script += '\n';
    };
    for (size_t i = 0; i < state.composer_y.size(); ++i)
        line('Y', i + 1, " = ", state.composer_y[i]);
    for (size_t i = 0; i < state.composer_z.size(); ++i)
        if (state.composer_z[i].kind != ComposerItem::Empty)
            line('Z', i + 1, " = ", state.composer_z[i]);
    for (size_t i = 0; i < state.composer_a.size(); ++i)
        if (state.composer_a[i].kind != ComposerItem::One)
            line(static_cast<char>('A' + i), 0, "c = ", state.composer_a[i]);
    return script;
}

} // namespace korvex
