#pragma once

#include "model/ComposerItem.h"
#include "model/DetectorEdits.h"
#include "model/RenderState.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

class Document;

// The input kind of camera card `card` (0..7); 20, which matches no kind,
// for any other card.
uint32_t InputKindOfCard(uint32_t card);
// The card of an input kind, or -1 when `kind` is not an input.
int32_t CardOfInputKind(uint32_t kind);

// The script text of one expression, operators with their parentheses.
// Kinds without a script text (labels, Assign, Empty, unknown values) give
// the empty text; so does a Blur or Blank node whose camera lies outside
// 0..7 (such nodes cannot come from a file, ReadItem rejects them).
std::string ItemScriptText(const ComposerItem& item);

// The "compose.txt" text of a state: every Y row, the used Z rows and the
// card rows that are not left at their default, one line each.
std::string ComposeScript(const RenderState& state);

// The binary item record (code 9, length, kind, number, child count, then
// the children's records), appended to `out`.
void WriteItem(const ComposerItem& item, std::vector<uint8_t>& out);

// The number of children a node of `kind` has: 2 for the operators (And,
// Or, Assign, Xor), 0 for every other kind.
uint32_t ItemChildCount(uint32_t kind);

// Reads one item record from the `size` bytes at `data` (the record may be
// followed by other bytes; `used` receives its length). Returns false,
// leaving `item` unspecified, when any rule is broken: code 9, a complete
// record, kind below 20, child count equal to ItemChildCount(kind), payload
// used up exactly, and a Blur or Blank camera below 8. Nesting deeper than MaxItemDepth fails too,
// so a hostile file cannot exhaust the stack.
bool ReadItem(const uint8_t* data, size_t size, ComposerItem& item, size_t* used = nullptr);
constexpr int MaxItemDepth = 256;

// The composer's three lists as a layout placed them: copies of a state's
// rows with their boxes filled in. Hit testing reads these, never the state.
struct ComposerRows {
    std::vector<ComposerItem> y, z, a;
};

// What a selection path names.
struct ComposerSelection {
    std::vector<ComposerItem>* list = nullptr; // the row's list
    size_t row = 0;
    ComposerItem* rowItem = nullptr; // the row's expression
    ComposerItem* node = nullptr;    // the node the path ends at
};

// Resolves a composer path ("Y2BAX": list, row, then A/B steps down the
// tree, then X; the document's composer selection holds one) in `state`. Empty fields when the path is
// empty, names no row, or its tree part does not lead to a node.
ComposerSelection ResolveSelection(RenderState& state, const std::string& path);
// The node a composer path names in `state`, or none.
const ComposerItem* NodeAt(const RenderState& state, const std::string& path);

// The path of the node at (x, y) under `item`, from the boxes of the last
// layout: "" outside the item's box, else "A"/"B" + child path, or "X".
std::string HitPath(const ComposerItem& item, int32_t x, int32_t y);

// The selection a click at (x, y) gives among the placed rows: the first
// row (Y, then Z, then the card rows) whose expression is hit, as
// "Y" + ('0' + row) + path, "Z" + ('0' + row) + path or
// "C" + ('a' + row) + path; "" when nothing is.
std::string SelectionAt(const ComposerRows& placed, int32_t x, int32_t y);

// The cameras a composer operation can name, and the detector numbers of
// one camera's inputs (1..kComposerInputsPerCard).
constexpr unsigned kComposerCards = 8;
constexpr unsigned kComposerInputsPerCard = 32;

// What an editing operation does to the selected composer node.
enum class ComposerOpKind {
    Or,       // an operator becomes Or; any other node its first operand
    And,      // likewise with And
    Xor,      // likewise with Xor
    Zero,     // the node becomes the constant 0
    One,      // the node becomes the constant 1
    Input,    // the node becomes input `number` of camera `card`
    Empty,    // the node becomes unused (a Z row's)
    ResetRow, // the whole row goes back to its default, whatever node is selected
    Blur,     // the node becomes camera `card`'s blur condition
    Blank,    // the node becomes camera `card`'s blank condition
};

// One editing operation; `card` counts for Input, Blur and Blank, `number`
// for Input only.
struct ComposerOp {
    ComposerOpKind kind = ComposerOpKind::Zero;
    unsigned card = 0;
    unsigned number = 0;
};

// Applies `op` to the composer node the document's composer selection names,
// as one undo step. Nothing changes when the op names a camera outside
// 0..kComposerCards-1 (NoSuchCard), an input number outside
// 1..kComposerInputsPerCard or no kind at all (NotACommand), or when the
// composer selection names no node (NoSuchItem).
EditResult ApplyComposerOp(Document& document, const ComposerOp& op);

// The double click on the node at composer path `path` (SelectionAt of the
// click): with a detector selected, that node becomes the detector's input
// in a new undo step that leaves `path` selected. Nothing changes, the selection included, without
// a selected detector (NoSelection), when the path names no node
// (NoSuchItem) or the detector's card has no input kind (NoSuchCard).
EditResult PutSelectedDetector(Document& document, const std::string& path);

} // namespace korvex
