#include "composer/Formula.h"

#include "composer/Composer.h"
#include "composer/ExpressionChecks.h"
#include "files/Problems.h"
#include "model/Document.h"

#include <gtest/gtest.h>

using namespace korvex;

namespace {

// The script text of what `text` parses to, or "error <code> @<column>".
std::string Reparse(const std::string& text) {
    FormulaError error;
    auto item = ParseFormula(text, &error);
    if (!item)
        return "error " + std::to_string(error.code) + " @" + std::to_string(error.column);
    return ItemScriptText(*item);
}

std::string Err(FormulaError::Code code, size_t column) {
    return "error " + std::to_string(code) + " @" + std::to_string(column);
}

ComposerItem Parse(const std::string& text) {
    auto item = ParseFormula(text, nullptr);
    EXPECT_TRUE(item) << text;
    return item ? *item : ComposerItem();
}

} // namespace

TEST(Formula, PrecedenceAndGrouping) {
    // & binds tighter than ^, which binds tighter than |.
    EXPECT_EQ(Reparse("A1 | B2 & C3"), "(A1 | (B2 & C3))");
    EXPECT_EQ(Reparse("A1 & B2 | C3"), "((A1 & B2) | C3)");
    EXPECT_EQ(Reparse("A1 ^ B2 & C3 | D4 ^ E5"), "((A1 ^ (B2 & C3)) | (D4 ^ E5))");
    // One kind groups from the left; parentheses override.
    EXPECT_EQ(Reparse("A1 & A2 & A3"), "((A1 & A2) & A3)");
    EXPECT_EQ(Reparse("A1 & (A2 & A3)"), "(A1 & (A2 & A3))");
    EXPECT_EQ(Reparse("A1^A2^A3"), "((A1 ^ A2) ^ A3)");
    EXPECT_EQ(Reparse("((((H32))))"), "H32");
}

TEST(Formula, NamesInEitherCaseAndBlanksAnywhere) {
    EXPECT_EQ(Reparse("  (a1&b2)|cBLUR\t"), "((A1 & B2) | Cblur)");
    EXPECT_EQ(Reparse("hBlank ^ 0 ^ 1"), "((Hblank ^ 0) ^ 1)");
    EXPECT_EQ(Reparse("A05"), "A5");
    ComposerItem blank = Parse("Dblank");
    EXPECT_EQ(blank.kind, uint32_t(ComposerItem::Blank));
    EXPECT_EQ(blank.number, 3);
    ComposerItem input = Parse("g12");
    EXPECT_EQ(input.kind, uint32_t(ComposerItem::InputG));
    EXPECT_EQ(input.number, 12);
}

TEST(Formula, PrintedFormulasReadBackTheSame) {
    ComposerItem item(ComposerItem::Or);
    item.children = {Parse("(A3 & (B1 | 0))"), Parse("Fblank ^ E32")};
    EXPECT_TRUE(Parse(ItemScriptText(item)).SameContent(item));
}

TEST(Formula, ErrorsNameTheColumn) {
    EXPECT_EQ(Reparse(""), Err(FormulaError::Empty, 1));
    EXPECT_EQ(Reparse("   "), Err(FormulaError::Empty, 4));
    EXPECT_EQ(Reparse("A1 &"), Err(FormulaError::OperandExpected, 5));
    EXPECT_EQ(Reparse("A1 & | B2"), Err(FormulaError::OperandExpected, 6));
    EXPECT_EQ(Reparse("& A1"), Err(FormulaError::OperandExpected, 1));
    EXPECT_EQ(Reparse("A1 & ()"), Err(FormulaError::OperandExpected, 7));
    EXPECT_EQ(Reparse("A1 & X2"), Err(FormulaError::UnknownName, 6));
    EXPECT_EQ(Reparse("Ablurry"), Err(FormulaError::UnknownName, 1));
    EXPECT_EQ(Reparse("A"), Err(FormulaError::UnknownName, 1));
    EXPECT_EQ(Reparse("2"), Err(FormulaError::UnknownName, 1));
    EXPECT_EQ(Reparse("B1 | A33"), Err(FormulaError::NumberOutOfRange, 6));
    EXPECT_EQ(Reparse("A0"), Err(FormulaError::NumberOutOfRange, 1));
    EXPECT_EQ(Reparse("A99999999999999999999"), Err(FormulaError::NumberOutOfRange, 1));
    EXPECT_EQ(Reparse("(A1 & (B2 | C3)"), Err(FormulaError::UnclosedParenthesis, 1));
    EXPECT_EQ(Reparse("A1 & B2)"), Err(FormulaError::UnopenedParenthesis, 8));
    EXPECT_EQ(Reparse("A1 B2"), Err(FormulaError::OperatorExpected, 4));
    EXPECT_EQ(Reparse("(A1) (B2)"), Err(FormulaError::OperatorExpected, 6));
    EXPECT_EQ(Reparse("A1 + B2"), Err(FormulaError::BadCharacter, 4));
    EXPECT_EQ(Reparse("!A1"), Err(FormulaError::BadCharacter, 1));
    // A character of several bytes counts as one column, and is named whole.
    FormulaError error;
    EXPECT_FALSE(ParseFormula("A1 ∩ B2", &error));
    EXPECT_EQ(error.code, FormulaError::BadCharacter);
    EXPECT_EQ(error.column, 4u);
    EXPECT_EQ(error.token, "∩");
    EXPECT_FALSE(ParseFormula("Ä1 | B2 & ", &error));
    EXPECT_EQ(error.column, 1u);
}

TEST(Formula, DepthIsBoundedWithoutExhaustingTheStack) {
    std::string chain = "A1";
    for (int i = 0; i <= MaxFormulaDepth; ++i)
        chain += " & A1";
    EXPECT_EQ(Reparse(chain).substr(0, 5), "error");
    std::string fits = "A1";
    for (int i = 0; i < MaxFormulaDepth; ++i)
        fits += "|A2";
    EXPECT_NE(Reparse(fits).substr(0, 5), "error");
    std::string parens(100000, '(');
    EXPECT_EQ(Reparse(parens + "A1"), Err(FormulaError::TooDeep, MaxFormulaDepth + 1));
    // The error text carries the column.
    FormulaError error;
    ParseFormula("A1 & Q7", &error);
    EXPECT_NE(FormulaErrorText(error).find("6"), std::string::npos);
    EXPECT_NE(FormulaErrorText(error).find("Q7"), std::string::npos);
}

TEST(FormulaRows, NamesAgainstTheProject) {
    RenderState state = RenderState::NewProject();
    auto name = [&](const char* text) {
        auto row = ParseRowName(state, text);
        return row ? row->Name() + "=" + row->SelectionPrefix() : std::string("none");
    };
    EXPECT_EQ(name("Y1"), "Y1=Y0");
    EXPECT_EQ(name("y24"), "Y24=YG");
    EXPECT_EQ(name("Z64"), "Z64=Zo");
    EXPECT_EQ(name("dC"), "Dc=Cd");
    for (const char* bad : {"Y0", "Y25", "Z65", "Ec", "Y01", "Y", "", "X1", "Y1x", "Ac1", "Y99999999999"})
        EXPECT_EQ(name(bad), "none") << bad;
    state.composer_a.resize(8);
    EXPECT_EQ(name("Hc"), "Hc=Ch");
}

TEST(FormulaRows, SetRowFormulaIsOneUndoStep) {
    Document document;
    document.New();
    ComposerRow y1{'Y', 0};
    EXPECT_FALSE(SetRowFormula(document, y1, "(a1 & b2) | cblur"));
    EXPECT_EQ(document.HistorySize(), 2u);
    EXPECT_EQ(ItemScriptText(document.Current().composer_y[0]), "((A1 & B2) | Cblur)");
    EXPECT_EQ(document.ComposerPath(), "Y0X");
    // The same formula again changes nothing.
    EXPECT_FALSE(SetRowFormula(document, y1, "((A1 & B2) | Cblur)"));
    EXPECT_EQ(document.HistorySize(), 2u);
    // A typing error leaves the document alone.
    auto error = SetRowFormula(document, y1, "A1 &");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->column, 5u);
    EXPECT_EQ(document.HistorySize(), 2u);
    // Empty clears a Z row, but is a typing error on a Y row.
    EXPECT_FALSE(SetRowFormula(document, {'Z', 3}, "B1"));
    EXPECT_FALSE(SetRowFormula(document, {'Z', 3}, "  "));
    EXPECT_EQ(document.Current().composer_z[3].kind, uint32_t(ComposerItem::Empty));
    EXPECT_TRUE(SetRowFormula(document, y1, ""));
    EXPECT_EQ(SetRowExpression(document, y1, ComposerItem(ComposerItem::Empty)).refusal,
              EditRefusal::NotAllowed);
    document.Undo();
    document.Undo();
    EXPECT_EQ(ItemScriptText(document.Current().composer_y[0]), "((A1 & B2) | Cblur)");
    document.Undo();
    EXPECT_EQ(ItemScriptText(document.Current().composer_y[0]), "1");
}

TEST(FormulaRows, ArrowMovesAndDelete) {
    RenderState state = RenderState::NewProject();
    state.composer_y[1] = Parse("(A1 & B2) | C3");
    std::string selection;
    // Nothing selected: any move starts at the first row.
    EXPECT_EQ(MovedSelection(state, selection, SelectionMove::Right), "Y0X");
    selection = "Y1AAX"; // A1
    std::vector<std::string> seen;
    for (int i = 0; i < 6; ++i) {
        selection = MovedSelection(state, selection, SelectionMove::Right);
        seen.push_back(selection);
    }
    // Drawing order: A1, &, B2, |, C3, and the end keeps the selection.
    EXPECT_EQ(seen, (std::vector<std::string>{"Y1AX", "Y1ABX", "Y1X", "Y1BX", "Y1BX", "Y1BX"}));
    selection = "Y1AX";
    EXPECT_EQ(MovedSelection(state, selection, SelectionMove::Left), "Y1AAX");
    EXPECT_EQ(MovedSelection(state, selection, SelectionMove::Up), "Y0X");
    EXPECT_EQ(MovedSelection(state, selection, SelectionMove::Down), "Y2X");
    // Down from the last Y row enters the Z rows, then the card rows.
    selection = "YGX";
    EXPECT_EQ(MovedSelection(state, selection, SelectionMove::Down), "Z0X");
    selection = "ZoX";
    EXPECT_EQ(MovedSelection(state, selection, SelectionMove::Down), "CaX");
    selection = "CdX";
    EXPECT_EQ(MovedSelection(state, selection, SelectionMove::Down), "CdX");
    selection = "Y0X";
    EXPECT_EQ(MovedSelection(state, selection, SelectionMove::Up), "Y0X");

    EXPECT_EQ(ResetOpForSelection(state, selection)->kind, ComposerOpKind::Zero);
    selection = "Z5X";
    EXPECT_EQ(ResetOpForSelection(state, selection)->kind, ComposerOpKind::Empty);
    selection = "Y1BAX"; // no such node
    EXPECT_FALSE(ResetOpForSelection(state, selection));
}

TEST(ExpressionChecks, ConstantsAfterSimplification) {
    EXPECT_EQ(ConstantValue(Parse("A1 & 0")), 0);
    EXPECT_EQ(ConstantValue(Parse("A1 | 1")), 1);
    EXPECT_EQ(ConstantValue(Parse("A1 ^ A1")), 0);
    EXPECT_EQ(ConstantValue(Parse("(A1 ^ B2) ^ (B2 ^ A1)")), 0);
    EXPECT_EQ(ConstantValue(Parse("(A1 ^ 1) | A1")), 1);
    EXPECT_EQ(ConstantValue(Parse("A1 & B2")), -1);
    EXPECT_EQ(ConstantValue(Parse("A1 ^ Ablur")), -1);
    EXPECT_EQ(ConstantValue(Parse("1")), 1);
    // Inputs past the sixth use whole words of the truth table.
    EXPECT_EQ(ConstantValue(Parse("(A1&A2&A3&A4&A5&A6&A7&A8) ^ (A8&A7&A6&A5&A4&A3&A2&A1)")), 0);
    EXPECT_EQ(ConstantValue(Parse("(A1&A2&A3&A4&A5&A6&A7&A8) ^ (A8&A7&A6&A5&A4&A3&A2)")), -1);
    std::string many = "A1";
    for (int i = 2; i <= 17; ++i)
        many += " & A" + std::to_string(i);
    EXPECT_EQ(ConstantValue(Parse(many + " & 0")), -1); // too many inputs to check
}

TEST(ExpressionChecks, FindingsNameTheRow) {
    RenderState state = RenderState::NewProject(); // four cameras, all rows at default
    EXPECT_TRUE(CheckExpressions(state).empty());
    state.composer_y[0] = Parse("A1 & Eblur");
    state.composer_y[2] = Parse("B1 | (C2 & C2)");
    state.composer_z[9] = Parse("A1 & 0");
    state.composer_a[1] = Parse("0");     // a bare constant is meant
    state.composer_y[3] = Parse("1 & 1"); // constant, but no input on either side
    auto findings = CheckExpressions(state);
    std::vector<std::string> got;
    for (const auto& f : findings)
        got.push_back(std::to_string(f.code) + " " + f.row + " " + f.detail);
    EXPECT_EQ(got,
              (std::vector<std::string>{"1820 Y1 Eblur", "1821 Y3 (C2 & C2)", "1822 Y4 1", "1822 Z10 0"}));
}

TEST(ExpressionChecks, ReachTheProblemsList) {
    RenderState state = RenderState::NewProject();
    Detector d(1, 1, 0, 0, 1, 320, 240); // A1
    state.detectors.push_back(d);
    state.composer_y[4] = Parse("A1 ^ A1");
    state.composer_z[0] = Parse("A1 | Gblank");
    std::vector<std::string> lines = ProblemLines(state);
    ASSERT_EQ(lines.size(), 3u);
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    // Each line names its row and what is wrong, in the string table's words.
    EXPECT_NE(all.find("Expression Y5 combines something with itself: (A1 ^ A1)."), std::string::npos) << all;
    EXPECT_NE(all.find("Expression Y5 is always 0"), std::string::npos) << all;
    EXPECT_NE(all.find("Expression Z1 uses Gblank"), std::string::npos) << all;
    // All three are warnings: the device takes such a program.
    for (const ProblemLine& line : ListProblems(state))
        EXPECT_TRUE(line.warning) << line.text;
    EXPECT_FALSE(HasBlockingProblems(state));
}
