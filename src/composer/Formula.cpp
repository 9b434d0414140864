#include "composer/Formula.h"

#include "composer/Composer.h"
#include "framework/StringTable.h"
#include "model/Document.h"

#include <cctype>

namespace korvex {

namespace {

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Recursive descent over the text, one precedence level per function. Each
// level returns the tree and its depth, so the depth limit is checked as the
// tree grows, not with a second walk over a possibly huge tree.
class Parser {
public:
    explicit Parser(std::string_view text) : text(text) {}

    std::optional<ComposerItem> Run(FormulaError* error) {
        SkipBlanks();
        if (pos == text.size())
            return Fail(FormulaError::Empty, pos, {}, error);
        Node root;
        if (!Or(root)) {
            if (error)
                *error = failure;
            return std::nullopt;
        }
        SkipBlanks();
        if (pos < text.size()) {
            if (text[pos] == ')')
                return Fail(FormulaError::UnopenedParenthesis, pos, ")", error);
            return Fail(IsNameStart(pos) || text[pos] == '(' ? FormulaError::OperatorExpected
                                                             : FormulaError::BadCharacter,
                        pos, TokenAt(pos), error);
        }
        return std::move(root.item);
    }

private:
    struct Node {
        ComposerItem item;
        int depth = 0;
    };

    std::optional<ComposerItem> Fail(FormulaError::Code code, size_t at, std::string token,
                                     FormulaError* error) {
        Set(code, at, std::move(token));
        if (error)
            *error = failure;
        return std::nullopt;
    }

    bool Set(FormulaError::Code code, size_t at, std::string token) {
        failure.code = code;
        failure.column = ColumnOf(at);
        failure.token = std::move(token);
        return false;
    }

    size_t ColumnOf(size_t at) const {
        size_t column = 1;
        for (size_t i = 0; i < at && i < text.size(); ++i)
            if (!IsContinuation(static_cast<unsigned char>(text[i])))
                ++column;
        return column;
    }

    void SkipBlanks() {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
            ++pos;
    }

    bool IsNameStart(size_t at) const {
        return at < text.size() && std::isalnum(static_cast<unsigned char>(text[at]));
    }

    // The word at `at`, or the one (possibly multi-byte) character there.
    std::string TokenAt(size_t at) const {
        size_t end = at;
        if (IsNameStart(at)) {
            while (end < text.size() && std::isalnum(static_cast<unsigned char>(text[end])))
                ++end;
        } else if (at < text.size()) {
            ++end;
            while (end < text.size() && IsContinuation(static_cast<unsigned char>(text[end])))
                ++end;
        }
        return std::string(text.substr(at, end - at));
    }

    // One level: operands of the next level joined by `sign`, grouped from
    // the left.
    template <typename Next> bool Level(Node& out, char sign, uint32_t kind, Next next) {
        if (!(this->*next)(out))
            return false;
        for (;;) {
            SkipBlanks();
            if (pos >= text.size() || text[pos] != sign)
                return true;
            size_t at = pos++;
            Node right;
            if (!(this->*next)(right))
                return false;
            int depth = (out.depth > right.depth ? out.depth : right.depth) + 1;
            if (depth > MaxFormulaDepth)
                return Set(FormulaError::TooDeep, at, std::string(1, sign));
            ComposerItem op(kind);
            op.children.reserve(2);
            op.children.push_back(std::move(out.item));
            op.children.push_back(std::move(right.item));
            out.item = std::move(op);
            out.depth = depth;
        }
    }

    bool Or(Node& out) { return Level(out, '|', ComposerItem::Or, &Parser::Xor); }
    bool Xor(Node& out) { return Level(out, '^', ComposerItem::Xor, &Parser::And); }
    bool And(Node& out) { return Level(out, '&', ComposerItem::And, &Parser::Operand); }

    bool Operand(Node& out) {
        SkipBlanks();
        if (pos >= text.size())
            return Set(FormulaError::OperandExpected, pos, {});
        char c = text[pos];
        if (c == '(') {
            size_t open = pos++;
            // Parentheses alone nest the parser, not the tree; bound them too.
            if (++nesting > MaxFormulaDepth)
                return Set(FormulaError::TooDeep, open, "(");
            if (!Or(out))
                return false;
            --nesting;
            SkipBlanks();
            if (pos >= text.size())
                return Set(FormulaError::UnclosedParenthesis, open, "(");
            if (text[pos] != ')') {
                if (IsNameStart(pos) || text[pos] == '(')
                    return Set(FormulaError::OperatorExpected, pos, TokenAt(pos));
                return Set(FormulaError::BadCharacter, pos, TokenAt(pos));
            }
            ++pos;
            return true;
        }
        if (c == '&' || c == '|' || c == '^' || c == ')')
            return Set(FormulaError::OperandExpected, pos, std::string(1, c));
        if (!IsNameStart(pos))
            return Set(FormulaError::BadCharacter, pos, TokenAt(pos));
        size_t start = pos;
        std::string word = TokenAt(pos);
        pos += word.size();
        return Name(word, start, out);
    }

    bool Name(const std::string& word, size_t at, Node& out) {
        out.depth = 0;
        if (word == "0" || word == "1") {
            out.item = ComposerItem(word == "0" ? ComposerItem::Zero : ComposerItem::One);
            return true;
        }
        char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
        if (letter < 'A' || letter > 'H' || word.size() < 2)
            return Set(FormulaError::UnknownName, at, word);
        uint32_t card = static_cast<uint32_t>(letter - 'A');
        std::string rest = word.substr(1);
        for (char& ch : rest)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (rest == "blur" || rest == "blank") {
            out.item = ComposerItem(rest == "blur" ? ComposerItem::Blur : ComposerItem::Blank, int32_t(card));
            return true;
        }
        unsigned number = 0;
        for (char ch : rest) {
            if (ch < '0' || ch > '9')
                return Set(FormulaError::UnknownName, at, word);
            if (number < 1000) // enough to know it is out of range, no overflow
                number = number * 10 + unsigned(ch - '0');
        }
        if (number < 1 || number > 32)
            return Set(FormulaError::NumberOutOfRange, at, word);
        out.item = ComposerItem(InputKindOfCard(card), int32_t(number));
        return true;
    }

    std::string_view text;
    size_t pos = 0;
    int nesting = 0;
    FormulaError failure;
};

std::string Replace(std::string text, const std::string& key, const std::string& value) {
    size_t at = text.find(key);
    if (at != std::string::npos)
        text.replace(at, key.size(), value);
    return text;
}

std::vector<ComposerItem>* ListOf(RenderState& state, char list) {
    return list == 'Y'   ? &state.composer_y
           : list == 'Z' ? &state.composer_z
           : list == 'C' ? &state.composer_a
                         : nullptr;
}

const std::vector<ComposerItem>* ListOf(const RenderState& state, char list) {
    return ListOf(const_cast<RenderState&>(state), list);
}

// Row numbers must fit the one character a selection path gives them.
bool RowFitsSelection(char list, size_t index) {
    size_t base = list == 'C' ? 'a' : '0';
    return base + index <= 127;
}

} // namespace

std::optional<ComposerItem> ParseFormula(std::string_view text, FormulaError* error) {
    Parser parser(text);
    return parser.Run(error);
}

std::string FormulaErrorText(const FormulaError& error) {
    std::string text = Replace(LoadTextA(error.code), "%2", error.token);
    return Replace(text, "%1", std::to_string(error.column));
}

std::string FormulaText(const ComposerItem& item) {
    return ItemScriptText(item);
}

std::string ComposerRow::SelectionPrefix() const {
    std::string prefix(1, list);
    prefix += static_cast<char>((list == 'C' ? 'a' : '0') + index);
    return prefix;
}

std::string ComposerRow::Name() const {
    if (list == 'C')
        return std::string(1, static_cast<char>('A' + index)) + "c";
    return std::string(1, list) + std::to_string(index + 1);
}

std::optional<ComposerRow> ParseRowName(const RenderState& state, std::string_view name) {
    if (name.size() < 2)
        return std::nullopt;
    char first = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    ComposerRow row;
    if (name.size() == 2 && (name[1] == 'c' || name[1] == 'C') && first >= 'A' && first <= 'H') {
        row.list = 'C';
        row.index = static_cast<size_t>(first - 'A');
    } else if (first == 'Y' || first == 'Z') {
        row.list = first;
        size_t number = 0;
        for (char ch : name.substr(1)) {
            if (ch < '0' || ch > '9' || number > 1000)
                return std::nullopt;
            number = number * 10 + size_t(ch - '0');
        }
        if (number == 0 || name[1] == '0')
            return std::nullopt;
        row.index = number - 1;
    } else {
        return std::nullopt;
    }
    if (row.index >= ListOf(state, row.list)->size() || !RowFitsSelection(row.list, row.index))
        return std::nullopt;
    return row;
}

std::optional<ComposerRow> RowOfSelection(const RenderState& state, const std::string& selection) {
    if (selection.size() < 2)
        return std::nullopt;
    ComposerRow row;
    row.list = selection[0] == 'Y' || selection[0] == 'Z' ? selection[0] : 'C';
    int index = static_cast<unsigned char>(selection[1]) - (row.list == 'C' ? 'a' : '0');
    if (index < 0 || static_cast<size_t>(index) >= ListOf(state, row.list)->size())
        return std::nullopt;
    row.index = static_cast<size_t>(index);
    return row;
}

const ComposerItem* RowItem(const RenderState& state, const ComposerRow& row) {
    const std::vector<ComposerItem>* list = ListOf(state, row.list);
    if (!list || row.index >= list->size())
        return nullptr;
    return &(*list)[row.index];
}

EditResult SetRowExpression(Document& document, const ComposerRow& row, const ComposerItem& expression) {
    const ComposerItem* current = RowItem(document.Current(), row);
    if (!current || !RowFitsSelection(row.list, row.index))
        return {EditRefusal::NoSuchItem, -1};
    if (expression.kind == ComposerItem::Empty && row.list != 'Z')
        return {EditRefusal::NotAllowed, -1};
    if (current->SameContent(expression))
        return {EditRefusal::SameValue, -1};
    RenderState next = document.Current();
    (*ListOf(next, row.list))[row.index] = expression;
    const int32_t selected = document.SelectedIndex();
    document.NewRenderState(std::move(next), Selection{selected, row.SelectionPrefix() + "X"});
    return {EditRefusal::None, selected};
}

std::optional<FormulaError> SetRowFormula(Document& document, const ComposerRow& row,
                                          std::string_view formula, bool* changed) {
    if (changed)
        *changed = false;
    FormulaError error;
    std::optional<ComposerItem> item;
    if (row.list == 'Z' && formula.find_first_not_of(" \t") == std::string_view::npos)
        item = ComposerItem(ComposerItem::Empty);
    else
        item = ParseFormula(formula, &error);
    if (!item)
        return error;
    const bool made = SetRowExpression(document, row, *item).Changed();
    if (changed)
        *changed = made;
    return std::nullopt;
}

namespace {

// The paths of a row's nodes in drawing order: left side, node, right side.
void InOrder(const ComposerItem& item, std::string& path, std::vector<std::string>& out) {
    if (item.children.size() == 2) {
        path += 'A';
        InOrder(item.children[0], path, out);
        path.pop_back();
        out.push_back(path + "X");
        path += 'B';
        InOrder(item.children[1], path, out);
        path.pop_back();
    } else {
        out.push_back(path + "X");
    }
}

std::vector<ComposerRow> AllRows(const RenderState& state) {
    std::vector<ComposerRow> rows;
    for (char list : {'Y', 'Z', 'C'})
        for (size_t i = 0; i < ListOf(state, list)->size() && RowFitsSelection(list, i); ++i)
            rows.push_back({list, i});
    return rows;
}

} // namespace

std::string MovedSelection(const RenderState& state, const std::string& selection, SelectionMove move) {
    std::vector<ComposerRow> rows = AllRows(state);
    if (rows.empty())
        return selection;
    std::optional<ComposerRow> current = RowOfSelection(state, selection);
    if (!current)
        return rows.front().SelectionPrefix() + "X";
    size_t at = 0;
    while (at < rows.size() && !(rows[at].list == current->list && rows[at].index == current->index))
        ++at;
    if (move == SelectionMove::Up || move == SelectionMove::Down) {
        if (move == SelectionMove::Up && at > 0)
            --at;
        else if (move == SelectionMove::Down && at + 1 < rows.size())
            ++at;
        return rows[at].SelectionPrefix() + "X";
    }
    std::vector<std::string> paths;
    std::string path;
    InOrder(*RowItem(state, *current), path, paths);
    std::string tail = selection.substr(2);
    size_t index = 0;
    while (index < paths.size() && paths[index] != tail)
        ++index;
    if (index == paths.size())
        return current->SelectionPrefix() + "X";
    if (move == SelectionMove::Left && index > 0)
        --index;
    else if (move == SelectionMove::Right && index + 1 < paths.size())
        ++index;
    return current->SelectionPrefix() + paths[index];
}

std::optional<ComposerOp> ResetOpForSelection(const RenderState& state, const std::string& path) {
    if (!NodeAt(state, path))
        return std::nullopt;
    return ComposerOp{path[0] == 'Z' && path.size() == 3 ? ComposerOpKind::Empty : ComposerOpKind::Zero};
}

} // namespace korvex
