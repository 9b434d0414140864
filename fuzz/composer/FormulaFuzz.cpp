// Formulas come from the keyboard and the command line. Whatever is typed,
// parsing must end without exhausting the stack, and a formula that is read
// must print as script text that reads back to the same tree, within the
// depth a project file can hold; an error must name a column inside the text.

#include "composer/Composer.h"
#include "composer/Formula.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace korvex;

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

int Depth(const ComposerItem& item) {
    int deepest = 0;
    for (const ComposerItem& child : item.children) {
        int d = Depth(child) + 1;
        deepest = d > deepest ? d : deepest;
    }
    return deepest;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    FormulaError error;
    auto item = ParseFormula(text, &error);
    if (!item) {
        Check(error.column >= 1 && error.column <= size + 1);
        return 0;
    }
    Check(Depth(*item) <= MaxFormulaDepth);
    auto again = ParseFormula(ItemScriptText(*item), nullptr);
    Check(again && again->SameContent(*item));
    return 0;
}
