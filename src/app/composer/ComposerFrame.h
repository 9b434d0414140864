#pragma once

#include <QWidget>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QScrollArea;

namespace korvex {

class ComposerView;
class Document;

// The composer window's content: the picture of every row in a scrolling
// area and, under it, a one-line formula field for the selected row with
// the typing error (if any) below it. The frame that holds it connects the
// two signals to its change handling.
class ComposerFrame : public QWidget {
    Q_OBJECT
public:
    explicit ComposerFrame(QWidget* parent = nullptr);

    // The document to show and edit, and where the active card is read.
    void Attach(Document* document, std::function<uint32_t()> activeCard);
    // Lays the picture out again and shows the selected row's formula (a
    // formula being typed for that row is kept).
    void Layout();
    // See ComposerView::SetLayoutDeferred; typed formulas follow it too.
    void SetLayoutDeferred(bool deferred);

    ComposerView& View() { return *view; }
    QLineEdit& FormulaField() { return *formula; }
    QLabel& ErrorLabel() { return *error; }
    QLabel& RowLabel() { return *rowLabel; }

    // The field's Enter: parses the text into the selected row as one undo
    // step, or shows the typing error and changes nothing. Returns whether
    // the formula was taken.
    bool ApplyFormula();

Q_SIGNALS:
    // An undo step was made (a view edit or a typed formula).
    void DocumentEdited();
    // The selection changed without an undo step.
    void SelectionChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowSelectedRow();
    void ShowError(const QString& text);

    Document* document = nullptr;
    bool deferLayout = false;
    std::string shownRow; // the row whose formula the field holds
    ComposerView* view;
    QScrollArea* scroller;
    QLabel* rowLabel;
    QLineEdit* formula;
    QLabel* error;
};

} // namespace korvex
