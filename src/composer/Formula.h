#pragma once

// Typed formulas: the script syntax of one expression read back into a
// tree, the row names ("Y1", "Z64", "Ac") and the edits and moves that the
// composer window and `korvex-cli compose` make with them.

#include "composer/Composer.h"
#include "model/ComposerItem.h"
#include "model/DetectorEdits.h"
#include "model/RenderState.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvex {

class Document;

// Why a formula could not be read. `column` counts characters from 1 (a
// multi-byte character counts once); `token` is the text at fault, if any.
struct FormulaError {
    enum Code : unsigned {
        Empty = 1800,               // nothing but blanks
        OperandExpected = 1801,     // an operator, ")" or the end where an operand belongs
        UnknownName = 1802,         // a word that is no input, constant or condition
        NumberOutOfRange = 1803,    // a detector number outside 1..32
        UnclosedParenthesis = 1804, // "(" never closed; column of that "("
        UnopenedParenthesis = 1805, // ")" with no "(" before it
        OperatorExpected = 1806,    // two operands side by side
        BadCharacter = 1807,        // a character that has no place in a formula
        TooDeep = 1808,             // nesting the project file could not hold
    };
    Code code = Empty;
    size_t column = 1;
    std::string token;
};

// The deepest tree a formula may give (the project file's own limit).
constexpr int MaxFormulaDepth = 200;

// Parses a formula: "|" binds loosest, then "^", then "&"; operators of one
// kind group from the left; parentheses as typed; blanks anywhere between
// tokens; names in either case: "0", "1", A1..H32, Ablur..Hblur,
// Ablank..Hblank. Returns none and fills `error` on any fault.
std::optional<ComposerItem> ParseFormula(std::string_view text, FormulaError* error);

// The text of a formula error in the current language: the column first,
// then what is wrong.
std::string FormulaErrorText(const FormulaError& error);

// The formula of an expression as the field shows it (the script text; an
// `Empty` row gives "").
std::string FormulaText(const ComposerItem& item);

// A row of one of the three composer lists, named as the script names it.
struct ComposerRow {
    char list = 'Y'; // 'Y', 'Z' or 'C' (the card rows)
    size_t index = 0;
    // The first two characters of a selection path naming this row.
    std::string SelectionPrefix() const;
    // "Y1", "Z64", "Ac".
    std::string Name() const;
};

// Reads "Y1", "z12", "Bc" (either case) against the rows `state` has; none
// for anything else, including a row number past the list's end.
std::optional<ComposerRow> ParseRowName(const RenderState& state, std::string_view name);

// The row named by the first two characters of `selection`, when it exists.
std::optional<ComposerRow> RowOfSelection(const RenderState& state, const std::string& selection);

// The expression of a row (none when the row does not exist).
const ComposerItem* RowItem(const RenderState& state, const ComposerRow& row);

// Sets a row's expression in one undo step and selects the row's root. A
// `Zero`/`One`/... tree goes in as it is; an `Empty` item is allowed only in
// Z rows. Changes nothing when the row does not exist (NoSuchItem), the
// item is not allowed there (NotAllowed), or the row already holds that
// expression (SameValue).
EditResult SetRowExpression(Document& document, const ComposerRow& row, const ComposerItem& expression);

// Parses `formula` for `row` (an empty formula clears a Z row to `Empty`)
// and sets it as above; `changed` tells whether an undo step was made.
// Returns the error when it cannot be read; then the document is untouched.
std::optional<FormulaError> SetRowFormula(Document& document, const ComposerRow& row,
                                          std::string_view formula, bool* changed = nullptr);

// Keyboard moves of the selection.
enum class SelectionMove { Left, Right, Up, Down };

// The selection a move from `selection` gives: Left/Right step through the nodes of the row
// in the order they are drawn (left side, operator, right side); Up/Down go
// to the root of the row above or below, through the Y rows, the Z rows and
// the card rows. From an empty selection every move selects the first row's
// root. A move past the first or last node or row keeps the selection.
std::string MovedSelection(const RenderState& state, const std::string& selection, SelectionMove move);

// The op Delete gives for the node `path` selects: the whole of a Z row
// becomes `Empty`, anything else `Zero`; none when it names no node.
std::optional<ComposerOp> ResetOpForSelection(const RenderState& state, const std::string& path);

} // namespace korvex
