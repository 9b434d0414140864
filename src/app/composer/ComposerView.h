#pragma once

#include "composer/Composer.h"
#include "composer/ComposerLayout.h"

#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>

class QMenu;

namespace korvex {

class Document;

// The composer picture: every row of the current state drawn as nested
// boxes. The whole picture is drawn once per layout into an off-screen
// image; painting only copies it. Clicks select a node (no undo step), the
// context menu and the double click change it through the composer's core
// edits, each one undo step; the keys move the selection and edit too.
class ComposerView : public QWidget {
    Q_OBJECT
public:
    explicit ComposerView(QWidget* parent = nullptr);
    ~ComposerView() override;

    // The document whose current state the view shows and edits, and where
    // the main view's active card is read (for the context menu).
    void Attach(Document* document, std::function<uint32_t()> activeCard);

    // With deferred layout, the view's own edits only report DocumentEdited
    // and leave the layout to whoever handles it (the frame lays every pane
    // out once when the event queue runs empty); selection changes are still
    // laid out at once.
    void SetLayoutDeferred(bool deferred) { deferLayout = deferred; }

    // Draws the picture again from the current state (after every edit,
    // selection change, new or opened document, undo, redo and detector
    // selection); the view takes the picture's size.
    void Layout();

    // What a left click at (x, y) does: selects the node there, or clears
    // the selection on empty space. Returns whether the selection changed.
    bool Select(int x, int y);
    // The double click: the selected detector goes into the node at (x, y).
    bool PutDetector(int x, int y);
    // Carries out a composer menu item (a ComposerCommand) on the selected
    // node; false when `id` is none or the edit is refused.
    bool Command(unsigned id);
    // Carries out an editing operation on the selected node.
    bool ApplyOp(const ComposerOp& op);
    // The context menu for the current selection, built but not shown
    // (null when nothing is selected).
    std::unique_ptr<QMenu> BuildContextMenu();

    const QImage& Picture() const { return picture; }
    const ComposerPicture& Steps() const { return steps; }
    int LayoutCount() const { return layouts; }
    // The family used for the operator signs ("" when plain ASCII signs are
    // drawn because no font has them).
    QString GlyphFamily() const;

Q_SIGNALS:
    // The view made an undo step.
    void DocumentEdited();
    // The selection changed without an undo step.
    void SelectionChanged();
    // A key that starts a formula was typed; the frame's field takes it.
    void TypingStarted(const QString& text);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    class Measure;
    void Render();
    void SetSelection(const std::string& selection);
    void Edited();

    Document* document = nullptr;
    std::function<uint32_t()> activeCard;
    std::unique_ptr<Measure> measure;
    ComposerPicture steps;
    QImage picture;
    int layouts = 0;
    bool deferLayout = false;
};

} // namespace korvex
