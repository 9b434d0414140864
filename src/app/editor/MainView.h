#pragma once

#include "app/common/Commands.h"
#include "model/Detector.h"
#include "model/DetectorEdits.h"
#include "model/DetectorSnap.h"
#include "model/Document.h"
#include "model/KeyboardEdits.h"
#include "model/ViewGeometry.h"

#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QImage;

namespace korvex {

class Prompter;

// What the main view needs from the frame around it. Every hook has a
// harmless default so the view also works on its own (tests).
class MainViewHost {
public:
    virtual ~MainViewHost() = default;
    virtual Prompter& Prompts() = 0;
    // Owner window for dialogs and boxes.
    virtual QWidget* DialogOwner() = 0;
    // The action of a command (toolbar button and menu item), or null.
    virtual QAction* Action(int /*command*/) { return nullptr; }
    // Painting reports each detector's pixel count for the inspector.
    virtual void AreaPainted(uint32_t /*card*/, uint32_t /*number*/, uint32_t /*count*/) {}
    // Rebuilds the problems list; true when it holds problems.
    virtual bool RebuildProblems() { return false; }
    // Shows the context menu (its actions' states are set) at a screen point.
    virtual void ShowContextMenu(const QPoint& /*globalPos*/) {}
    // A copy of the current picture of one camera (false when it has none).
    virtual bool CopyLivePicture(int /*camera*/, Bitmap& /*out*/) { return false; }
    // A line in the status bar's text part.
    virtual void ShowStatusText(const std::string& /*text*/) {}
};

// The editing surface: every camera card's background side by side, two per
// row, scaled by an integer zoom, with the detectors drawn over them. It
// carries out the editing commands on the project session's document.
class MainView : public QWidget {
    Q_OBJECT
public:
    MainView(MainViewHost& host, Document& document, QWidget* parent = nullptr);

    Document& GetDocument() { return document; }
    const RenderState& State() const { return document.Current(); }

    // Carries out a command routed by the frame; false when it is not one of
    // the view's commands. Errors propagate to the frame's catcher.
    bool Command(int id);

    // The loop's refreshes: size for the current state and zoom, and the
    // toolbar buttons with the mode fallback.
    void Relayout();
    void UpdateToolbar();
    // The context-menu states, also applied to the main menu when it opens.
    void UpdateMenuStates();

    // The document was replaced (new or opened project): the first card
    // becomes the active one and no corner is under the pointer.
    void ProjectReplaced();

    // Selection as the document and the clicks set it; the pen width,
    // pattern and fill for the next detector follow the selected one.
    void Select(int32_t index);
    // Makes detector `index` the selection and its card the active one
    // (a detector chosen outside the view, on the live page say).
    void ChooseDetector(int32_t index);

    // Ends any drag under way. A corner, move or aim drag is dropped
    // uncommitted; an eraser stroke keeps what it erased so far (one press
    // of the eraser is one state).
    void CancelDrag();

    // The corner a drag under way would snap to, if any.
    std::optional<SnapTarget> SnapTargetShown() const;

    ViewGeometry Geometry() const { return ViewGeometry(document.Current(), zoom); }
    int32_t Mode() const { return mode; }
    int32_t Zoom() const { return zoom; }
    int32_t ActiveCard() const { return activeCard; }
    int32_t ActiveHandle() const { return activeHandle; }
    int32_t PenWidth() const { return static_cast<int32_t>(settings.pen_width); }
    int32_t Divisions() const { return static_cast<int32_t>(settings.divisions); }
    int32_t Fill() const { return settings.fill; }
    bool ClipboardFull() const { return clipboard.has_value(); }
    bool Dragging() const { return drag != DragNone; }
    QPoint MenuPoint() const { return menuPoint; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum DragKind { DragNone, DragCorner, DragMove, DragAim, DragErase };

    void LeftDown(int32_t x, int32_t y);
    void LeftUp(int32_t x, int32_t y);
    void RightDown(int32_t x, int32_t y, const QPoint& globalPos);
    void Move(int32_t x, int32_t y);
    void ChangeCard(int32_t x, int32_t y);
    int32_t CornerHit(int32_t x, int32_t y) const;
    int32_t PickDetector(int32_t x, int32_t y) const;
    void SetActiveHandle(int32_t corner);
    // Repaints one card's picture (the whole view for no card).
    void RepaintCard(int32_t card);
    void EraseAt(int32_t x, int32_t y);
    void SetMode(int32_t m);
    void SetPenWidth(int32_t k);
    void SetPattern(int32_t f, int32_t d);
    void AddDetector(bool line, bool atMenuPoint);
    void LoadBackground();
    void LiveBackgrounds();
    void CopyDetector();
    void UpdateCursor();
    // After a committed edit: the view follows the new state's selection.
    void Edited(const EditResult& result);
    // The drag distance in canvas pixels.
    Point DragDelta() const;
    // The points the selected (or card-moved) detector shows while a drag is
    // under way; its own points otherwise.
    std::array<Point, 4> PreviewPoints(size_t index) const;

    // Editing tools (MainViewTools.cpp): snapping while dragging, nudging
    // with the arrow keys, the size conversion and copying a card's
    // detectors.
    CornerSnap DraggedCorner() const;
    Point MoveOffset(std::optional<SnapTarget>* target = nullptr) const;
    void PaintEditingMarks(QImage& zoomed, int32_t card) const;
    bool NudgeKey(QKeyEvent* event);
    bool ToolCommand(int id);
    bool ViewCommand(int id);
    bool EditCommand(int id);
    void UpdateToolStates();
    void ConvertTo(uint32_t width, uint32_t height);
    void CopyDetectorsToCamera();

    void SetChecked(int command, bool on);
    void SetEnabled(int command, bool on);

    MainViewHost& host;
    Document& document;
    int32_t mode = ModeReshape;
    int32_t zoom = 1;
    // The pattern, pen width and fill for the next new detector (the card
    // is the active one when it is added).
    DrawingSettings settings{0, 2, 1, 0, 0};
    DragKind drag = DragNone;
    QPoint dragStart;
    QPoint dragLast;
    // An eraser stroke under way: its points in the picture, and the
    // selected detector as the stroke has erased it so far.
    std::vector<Point> eraseStroke;
    std::optional<Detector> erasePreview;
    int32_t activeHandle = -1;
    QPoint menuPoint;
    // Where the left button last went down (view coordinates); a zoom or a
    // new project forgets it.
    std::optional<QPoint> lastClick;
    int32_t activeCard = 0;
    std::optional<Detector> clipboard;
    bool freeDrag = false; // Shift held during the drag: no snapping
    NudgeBurst nudges;
    ChangeChannel::Subscription documentChanges;
};

} // namespace korvex
