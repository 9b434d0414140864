#include "app/composer/ComposerFrame.h"

#include "app/common/UiText.h"
#include "app/composer/ComposerView.h"
#include "composer/Formula.h"
#include "framework/TextIds.h"
#include "model/Document.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QVBoxLayout>

namespace korvex {

ComposerFrame::ComposerFrame(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("composerFrame"));
    setWindowTitle(Text(text::composer_title));
    resize(213, 335);

    scroller = new QScrollArea(this);
    scroller->setWidgetResizable(false);
    scroller->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setBackgroundRole(QPalette::Base);
    view = new ComposerView;
    scroller->setWidget(view);

    rowLabel = new QLabel(this);
    formula = new QLineEdit(this);
    formula->setObjectName(QStringLiteral("formulaField"));
    formula->setToolTip(Text(text::composer_formula_tip));
    formula->setPlaceholderText(Text(text::composer_field_placeholder));
    formula->setClearButtonEnabled(false);
    formula->installEventFilter(this);
    error = new QLabel(this);
    error->setObjectName(QStringLiteral("formulaError"));
    error->setWordWrap(true);
    error->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0);"));
    error->hide();

    // Rows no formula was written for read 1; the legend says what that is.
    auto* legend = new QLabel(Text(text::onsite_always_on), this);
    legend->setObjectName(QStringLiteral("alwaysOnLegend"));
    legend->setContentsMargins(4, 0, 4, 0);
    legend->setForegroundRole(QPalette::PlaceholderText);

    auto* field = new QHBoxLayout;
    field->setContentsMargins(4, 0, 4, 0);
    field->setSpacing(4);
    field->addWidget(rowLabel);
    field->addWidget(formula, 1);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 4);
    column->setSpacing(4);
    column->addWidget(scroller, 1);
    column->addWidget(legend);
    column->addLayout(field);
    column->addWidget(error);
    error->setContentsMargins(4, 0, 4, 0);

    connect(formula, &QLineEdit::returnPressed, this, &ComposerFrame::ApplyFormula);
    connect(view, &ComposerView::DocumentEdited, this, [this] {
        ShowSelectedRow();
        Q_EMIT DocumentEdited();
    });
    connect(view, &ComposerView::SelectionChanged, this, [this] {
        ShowSelectedRow();
        Q_EMIT SelectionChanged();
    });
    connect(view, &ComposerView::TypingStarted, this, [this](const QString& text) {
        ShowSelectedRow();
        formula->setFocus(Qt::OtherFocusReason);
        formula->setText(text);
        formula->setModified(true);
    });
}

void ComposerFrame::Attach(Document* doc, std::function<uint32_t()> activeCard) {
    document = doc;
    view->Attach(doc, std::move(activeCard));
    ShowSelectedRow();
}

void ComposerFrame::SetLayoutDeferred(bool deferred) {
    deferLayout = deferred;
    view->SetLayoutDeferred(deferred);
}

void ComposerFrame::Layout() {
    view->Layout();
    ShowSelectedRow();
}

void ComposerFrame::ShowSelectedRow() {
    if (!document)
        return;
    const RenderState& state = document->Current();
    std::optional<ComposerRow> row = RowOfSelection(state, document->ComposerPath());
    if (!row) {
        error->hide();
        rowLabel->clear();
        formula->clear();
        formula->setEnabled(false);
        shownRow.clear();
        return;
    }
    formula->setEnabled(true);
    std::string name = row->Name();
    // Text typed for this row and not yet entered stays while other things
    // change (a detector moved in the editor lays the composer out again).
    if (name == shownRow && formula->isModified())
        return;
    error->hide();
    shownRow = name;
    rowLabel->setText(
        Text(text::composer_row_label).replace(QStringLiteral("%s"), QString::fromStdString(name)));
    formula->setText(QString::fromStdString(FormulaText(*RowItem(state, *row))));
    formula->setModified(false);
}

void ComposerFrame::ShowError(const QString& text) {
    error->setText(text);
    error->show();
}

bool ComposerFrame::ApplyFormula() {
    if (!document)
        return false;
    const RenderState& state = document->Current();
    std::optional<ComposerRow> row = RowOfSelection(state, document->ComposerPath());
    if (!row) {
        ShowError(Text(text::composer_select_row_first));
        return false;
    }
    bool changed = false;
    std::optional<FormulaError> failure =
        SetRowFormula(*document, *row, formula->text().toStdString(), &changed);
    if (failure) {
        ShowError(QString::fromStdString(row->Name() + ": " + FormulaErrorText(*failure)));
        // Put the cursor where the fault is: columns count characters.
        formula->setCursorPosition(int(failure->column) - 1);
        return false;
    }
    formula->setModified(false);
    if (changed) {
        if (!deferLayout)
            view->Layout();
        ShowSelectedRow();
        Q_EMIT DocumentEdited();
    } else {
        ShowSelectedRow();
    }
    view->setFocus(Qt::OtherFocusReason);
    return true;
}

bool ComposerFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == formula && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            formula->setModified(false);
            ShowSelectedRow();
            view->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace korvex
