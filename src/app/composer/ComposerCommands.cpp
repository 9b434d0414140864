#include "app/composer/ComposerCommands.h"

#include "app/common/Commands.h"

namespace korvex {

static_assert(kComposerCardCount == kComposerCards, "one blur, blank and input run a camera of the composer");
static_assert(kComposerMenuInputsPerCard == kComposerInputsPerCard, "one input item a detector number");

namespace {

// The op of a run of card items (blur, blank), or none outside the run.
std::optional<ComposerOp> CardOp(unsigned id, unsigned first, ComposerOpKind kind) {
    if (id < first || id >= first + kComposerCards)
        return std::nullopt;
    return ComposerOp{kind, id - first, 0};
}

} // namespace

std::optional<ComposerOp> ComposerOpOfCommand(unsigned id) {
    switch (id) {
    case CmdOr:
        return ComposerOp{ComposerOpKind::Or};
    case CmdAnd:
        return ComposerOp{ComposerOpKind::And};
    case CmdXor:
        return ComposerOp{ComposerOpKind::Xor};
    case CmdZero:
        return ComposerOp{ComposerOpKind::Zero};
    case CmdOne:
        return ComposerOp{ComposerOpKind::One};
    case CmdEmpty:
        return ComposerOp{ComposerOpKind::Empty};
    case CmdResetRow:
        return ComposerOp{ComposerOpKind::ResetRow};
    default:
        break;
    }
    if (id >= CmdInputFirst && id <= CmdInputLast) {
        const unsigned offset = id - CmdInputFirst;
        return ComposerOp{ComposerOpKind::Input, offset / kComposerInputsPerCard,
                          offset % kComposerInputsPerCard + 1};
    }
    if (auto blur = CardOp(id, CmdBlurFirst, ComposerOpKind::Blur))
        return blur;
    return CardOp(id, CmdBlankFirst, ComposerOpKind::Blank);
}

} // namespace korvex
