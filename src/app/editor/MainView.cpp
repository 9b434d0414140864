#include "app/editor/MainView.h"

#include "app/common/Icons.h"
#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/editor/BackgroundPicture.h"
#include "app/editor/DetectorDrawing.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"
#include "live/LiveBackground.h"
#include "model/DetectorGeometry.h"

#include <QAction>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <optional>

namespace korvex {

MainView::MainView(MainViewHost& host, Document& document, QWidget* parent)
    : QWidget(parent), host(host), document(document) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setAutoFillBackground(false);
    resize(100, 100);
    UpdateCursor();
    // The document's facts (its content, the chosen detector or composer
    // item) change what the view shows and which commands apply; what only
    // the view knows (the corner under the pointer, a drag, the eraser's
    // stroke) repaints the view alone and tells the document nothing.
    documentChanges = document.Subscribe([this](uint32_t what) {
        if (what & (DocumentChange::Content | DocumentChange::Selection)) {
            UpdateMenuStates();
            update();
        }
    });
}

void MainView::RepaintCard(int32_t card) {
    const ViewGeometry g = Geometry();
    if (card < 0 || card >= g.CardCount()) {
        update();
        return;
    }
    // The picture with its frame and drop shadow.
    const Rect r = g.CardArea(card);
    update(QRect(QPoint(r.left - 1, r.top - 1), QPoint(r.right + 6, r.bottom + 6)));
}

// ---- selection and toolbar ------------------------------------------------

void MainView::Select(int32_t index) {
    document.SelectDetector(index);
    update();
    const RenderState& state = document.Current();
    if (index >= 0 && static_cast<size_t>(index) < state.detectors.size()) {
        const Detector& d = state.detectors[static_cast<size_t>(index)];
        settings.divisions = std::min<uint32_t>(d.divisions, 6);
        settings.pen_width = std::clamp<uint32_t>(d.pen_width, 1, 4);
        settings.fill = d.fill;
    }
    UpdateToolbar();
}

void MainView::Edited(const EditResult& result) {
    // Once the history holds its full hundred states the document keeps its
    // position for the new state and says nothing about the selection, so
    // the view takes it up here in every case.
    if (result)
        Select(document.SelectedIndex());
}

void MainView::SetChecked(int command, bool on) {
    if (QAction* a = host.Action(command); a && a->isChecked() != on)
        a->setChecked(on);
}

void MainView::SetEnabled(int command, bool on) {
    if (QAction* a = host.Action(command); a && a->isEnabled() != on)
        a->setEnabled(on);
}

void MainView::UpdateToolbar() {
    const Detector* sel = document.SelectedDetector();
    if ((mode == ModeErase && !sel) || (mode == ModeAim && !(sel && sel->directional))) {
        mode = ModeReshape;
        UpdateCursor();
    }
    const int32_t pen = PenWidth(), divisions = Divisions(), fill = Fill();
    for (int k = 1; k <= 4; ++k)
        SetChecked(CmdPenWidth1 + k - 1, pen == k);
    SetChecked(CmdNoPattern, divisions == 0 && fill == 0);
    for (int k = 1; k <= 6; ++k)
        SetChecked(CmdDivisions1 + k - 1, divisions == k);
    SetChecked(CmdFill20, fill == 20);
    SetChecked(CmdFill100, fill == 100);
    SetChecked(CmdModeReshape, mode == ModeReshape);
    SetChecked(CmdModeErase, mode == ModeErase);
    SetChecked(CmdModeMove, mode == ModeMove);
    SetChecked(CmdModeAim, mode == ModeAim);
    SetChecked(CmdModeMoveCard, mode == ModeMoveCard);
    SetEnabled(CmdCopy, sel != nullptr);
    SetEnabled(CmdDelete, sel != nullptr);
    SetEnabled(CmdModeErase, sel != nullptr);
    SetEnabled(CmdPaste, ClipboardFull());
    SetEnabled(CmdModeAim, sel != nullptr && sel->directional);
}

void MainView::UpdateMenuStates() {
    UpdateToolbar();
    SetEnabled(CmdSave, document.Modified());
    SetEnabled(CmdUndo, document.CanUndo());
    SetEnabled(CmdRedo, document.CanRedo());
    bool card = activeCard >= 0;
    // Taking the live pictures works on every card: it does not depend on
    // the active one.
    for (int id : {CmdAddQuad, CmdAddLine, CmdAddQuadHere, CmdAddLineHere, CmdLoadBackground})
        SetEnabled(id, card);
    UpdateToolStates();
}

void MainView::Relayout() {
    lastClick.reset(); // the cards may lie elsewhere now
    ViewGeometry g = Geometry();
    resize(g.ViewWidth(), g.ViewHeight());
    update();
}

void MainView::UpdateCursor() {
    setCursor(ModeCursor(mode));
}

void MainView::ProjectReplaced() {
    CancelDrag();
    activeCard = 0;
    activeHandle = -1;
    UpdateMenuStates();
    update();
}

// ---- commands ---------------------------------------------------------------

bool MainView::Command(int id) {
    nudges.End();
    if (id == CmdConvertTo320 || id == CmdConvertTo180 || id == CmdCopyDetectorsToCamera) {
        CancelDrag();
        return ToolCommand(id);
    }
    return ViewCommand(id) || EditCommand(id);
}

// Zoom, pen, pattern and mode: how the view draws and what a drag does; the
// document stays as it is.
bool MainView::ViewCommand(int id) {
    switch (id) {
    case CmdZoomIn:
    case CmdZoomOut: {
        int32_t next = std::clamp(zoom + (id == CmdZoomIn ? 1 : -1), 1, 6);
        if (next != zoom) {
            // A drag measures its way in screen pixels of one zoom; it
            // cannot carry over to another.
            CancelDrag();
            zoom = next;
            document.Announce(DocumentChange::Layout);
        }
        return true;
    }
    case CmdPenWidth1:
    case CmdPenWidth2:
    case CmdPenWidth3:
    case CmdPenWidth4:
        SetPenWidth(id - CmdPenWidth1 + 1);
        return true;
    case CmdNoPattern:
        SetPattern(0, 0);
        return true;
    case CmdFill20:
        SetPattern(20, 0);
        return true;
    case CmdFill100:
        SetPattern(100, 0);
        return true;
    case CmdDivisions1:
    case CmdDivisions2:
    case CmdDivisions3:
    case CmdDivisions4:
    case CmdDivisions5:
    case CmdDivisions6:
        SetPattern(0, id - CmdDivisions1 + 1);
        return true;
    case CmdModeReshape:
        SetMode(ModeReshape);
        return true;
    case CmdModeErase:
        SetMode(ModeErase);
        return true;
    case CmdModeMove:
        SetMode(ModeMove);
        return true;
    case CmdModeAim:
        SetMode(ModeAim);
        return true;
    case CmdModeMoveCard:
        SetMode(ModeMoveCard);
        return true;
    default:
        return false;
    }
}

// Commands that change or replace the document: a drag under way would
// otherwise keep pointing into a state the command drops.
bool MainView::EditCommand(int id) {
    switch (id) {
    case CmdAddQuad:
    case CmdAddLine:
    case CmdAddQuadHere:
    case CmdAddLineHere:
        CancelDrag();
        AddDetector(id == CmdAddLine || id == CmdAddLineHere, id == CmdAddQuadHere || id == CmdAddLineHere);
        return true;
    case CmdLoadBackground:
        CancelDrag();
        LoadBackground();
        return true;
    case CmdLiveBackgrounds:
        CancelDrag();
        LiveBackgrounds();
        return true;
    case CmdDelete:
        CancelDrag();
        if (DeleteSelected(document)) {
            activeHandle = -1;
            Select(-1);
        }
        return true;
    case CmdCopy:
        CancelDrag();
        CopyDetector();
        return true;
    case CmdPaste:
        CancelDrag();
        if (clipboard)
            Edited(PasteDetector(document, *clipboard, activeCard));
        return true;
    case CmdUndo:
        CancelDrag();
        Edited(korvex::Undo(document));
        return true;
    case CmdRedo:
        CancelDrag();
        Edited(korvex::Redo(document));
        return true;
    default:
        return false;
    }
}

void MainView::SetMode(int32_t m) {
    if (m == mode)
        return;
    CancelDrag();
    mode = m;
    UpdateCursor();
    UpdateToolbar();
}

// The presets change the selected detector (one state) or, without one,
// what the next new detector gets.
void MainView::SetPenWidth(int32_t k) {
    EditResult r = ApplyPenWidth(document, settings, static_cast<uint32_t>(k));
    if (r)
        Edited(r);
    else if (r.refusal == EditRefusal::NoSelection)
        UpdateToolbar();
}

void MainView::SetPattern(int32_t f, int32_t d) {
    EditResult r = ApplyFillDivisions(document, settings, f, static_cast<uint32_t>(d));
    if (r)
        Edited(r);
    else if (r.refusal == EditRefusal::NoSelection)
        UpdateToolbar();
}

void MainView::AddDetector(bool line, bool atMenuPoint) {
    if (activeCard < 0)
        return;
    DrawingSettings next = settings;
    next.card = static_cast<uint32_t>(activeCard);
    next.line = line ? 1 : 0;
    // The "...here" items use the point the menu was opened at; the plain
    // command the last left click on the active card, so Ctrl+D puts the
    // detector where the user was working (the default place otherwise).
    std::optional<Point> at;
    if (atMenuPoint)
        at = Geometry().ToCanvas(activeCard, menuPoint.x(), menuPoint.y());
    else if (lastClick && Geometry().CardAt(lastClick->x(), lastClick->y()) == activeCard)
        at = Geometry().ToCanvas(activeCard, lastClick->x(), lastClick->y());
    Edited(korvex::AddDetector(document, next, at));
}

void MainView::LoadBackground() {
    if (activeCard < 0 || static_cast<size_t>(activeCard) >= document.Current().backgrounds.size())
        return;
    QString path = host.Prompts().OpenFile(host.DialogOwner(), Text(text::picture_filter), PicturePatterns());
    if (path.isEmpty())
        return;
    // Raises the file's own message, and nothing changes then; none when
    // the user cancels the fit question.
    std::optional<Bitmap> picture =
        BackgroundPicture(host.Prompts(), host.DialogOwner(), path, document.Current(), activeCard);
    if (picture)
        Edited(SetBackground(document, activeCard, std::move(*picture)));
}

void MainView::LiveBackgrounds() {
    // Every card takes its camera's current picture, copied under the
    // camera slot's lock; a card whose camera shows nothing, or a picture
    // of another size than the project's, keeps its background. All cards
    // change in one undo state, and nothing changes when no card would.
    const RenderState& state = document.Current();
    const size_t cards = state.backgrounds.size();
    std::vector<std::optional<Bitmap>> fitted(cards);
    bool anyPicture = false, anyFits = false;
    for (size_t i = 0; i < cards; ++i) {
        Bitmap live;
        if (!host.CopyLivePicture(static_cast<int>(i), live))
            continue;
        anyPicture = true;
        fitted[i] = LiveBackground(live, state.width, state.height, state.backgrounds[i]);
        anyFits = anyFits || fitted[i].has_value();
    }
    if (!anyFits) {
        const QString text = anyPicture ? QString::fromStdString(FillText(
                                              Text(text::live_no_matching_live_pictures).toStdString(),
                                              {std::to_string(state.width), std::to_string(state.height)}))
                                        : Text(text::live_no_live_pictures);
        host.Prompts().Information(host.DialogOwner(), text, Text(text::frame_tab_live));
        return;
    }
    Edited(SetBackgrounds(document, std::move(fitted)));
}

void MainView::CopyDetector() {
    if (const Detector* sel = document.SelectedDetector())
        clipboard = *sel;
    else
        clipboard.reset();
    UpdateToolbar();
}

// ---- pointer --------------------------------------------------------------

int32_t MainView::CornerHit(int32_t x, int32_t y) const {
    const Detector* sel = document.SelectedDetector();
    if (!sel)
        return -1;
    return CornerAt(*sel, Geometry().ToCanvas(activeCard, x, y));
}

int32_t MainView::PickDetector(int32_t x, int32_t y) const {
    const RenderState& state = document.Current();
    if (activeCard < 0)
        return -1;
    Point p = Geometry().ToCanvas(activeCard, x, y);
    return CycleHit(DetectorsAt(state, activeCard, p), document.SelectedIndex());
}

void MainView::SetActiveHandle(int32_t corner) {
    if (corner == activeHandle)
        return;
    activeHandle = corner;
    RepaintCard(activeCard);
}

void MainView::ChangeCard(int32_t x, int32_t y) {
    int32_t c = Geometry().CardAt(x, y);
    if (c == activeCard)
        return;
    activeCard = c;
    document.SelectDetector(-1);
    // The commands that need an active card follow it (their shortcuts
    // work only while they are enabled); both cards' frames change colour.
    UpdateMenuStates();
    update();
}

Point MainView::DragDelta() const {
    return {(dragLast.x() - dragStart.x()) / zoom, (dragLast.y() - dragStart.y()) / zoom};
}

void MainView::LeftDown(int32_t x, int32_t y) {
    ChangeCard(x, y);
    const QPoint at(x, y);
    switch (mode) {
    case ModeReshape: {
        int32_t g = document.SelectedIndex();
        int32_t corner = CornerHit(x, y);
        if (corner >= 0) {
            dragStart = dragLast = at;
            drag = DragCorner;
        } else {
            g = PickDetector(x, y);
        }
        if (corner == activeHandle && g == document.SelectedIndex())
            return;
        activeHandle = corner;
        Select(g);
        break;
    }
    case ModeErase:
        if (const Detector* sel = document.SelectedDetector()) {
            drag = DragErase;
            erasePreview = *sel;
            eraseStroke.clear();
            EraseAt(x, y);
        }
        break;
    case ModeMove:
    case ModeMoveCard: {
        int32_t g = PickDetector(x, y);
        if (g != document.SelectedIndex())
            Select(g);
        if (g != -1) {
            dragStart = dragLast = at;
            drag = DragMove;
        }
        break;
    }
    case ModeAim:
        if (document.SelectedDetector()) {
            dragStart = dragLast = at;
            drag = DragAim;
        }
        break;
    default:
        break;
    }
}

void MainView::EraseAt(int32_t x, int32_t y) {
    Point p = Geometry().InPicture(activeCard, x, y);
    eraseStroke.push_back(p);
    if (EraseAroundOn(*erasePreview, document.Current(), p, zoom))
        RepaintCard(activeCard);
}

void MainView::Move(int32_t x, int32_t y) {
    QPoint p(x, y);
    switch (drag) {
    case DragNone:
        if (mode == ModeReshape)
            SetActiveHandle(CornerHit(x, y));
        break;
    case DragErase:
        EraseAt(x, y);
        break;
    case DragCorner:
    case DragMove:
        if (p == dragLast)
            break;
        [[fallthrough]];
    case DragAim:
        dragLast = p;
        RepaintCard(activeCard);
        break;
    }
}

void MainView::LeftUp(int32_t x, int32_t y) {
    const DragKind ended = drag;
    if (ended == DragErase) {
        CancelDrag(); // keeps the stroke
        return;
    }
    const Point delta = {(x - dragStart.x()) / zoom, (y - dragStart.y()) / zoom};
    // Where snapping puts the corner or the detector, measured while the
    // drag is still under way.
    dragLast = QPoint(x, y);
    std::optional<SnapTarget> moveTarget;
    const CornerSnap corner = ended == DragCorner ? DraggedCorner() : CornerSnap{};
    const Point move = ended == DragMove ? MoveOffset(&moveTarget) : Point{};
    drag = DragNone;
    switch (ended) {
    case DragNone:
        if (mode == ModeReshape)
            SetActiveHandle(CornerHit(x, y));
        return;
    case DragCorner:
        if (const Detector* d = document.SelectedDetector(); corner.target && d) {
            Point now = d->points[static_cast<size_t>(activeHandle)];
            Edited(MoveCorner(document, activeHandle, corner.point.x - now.x, corner.point.y - now.y));
        } else {
            Edited(MoveCorner(document, activeHandle, delta.x, delta.y));
        }
        activeHandle = CornerHit(x, y);
        break;
    case DragMove:
        if (mode == ModeMove)
            Edited(MoveSelected(document, moveTarget ? move.x : delta.x, moveTarget ? move.y : delta.y));
        else
            Edited(MoveCard(document, delta.x, delta.y));
        break;
    case DragAim:
        Edited(AimSelected(document, {dragStart.x(), dragStart.y()}, {x, y}));
        break;
    case DragErase:
        break;
    }
    update();
}

void MainView::CancelDrag() {
    const DragKind ended = drag;
    drag = DragNone;
    switch (ended) {
    case DragNone:
        return;
    case DragErase:
        Edited(EraseAround(document, eraseStroke, zoom));
        eraseStroke.clear();
        erasePreview.reset();
        return;
    case DragCorner:
        if (activeHandle == -1)
            return;
        activeHandle = -1;
        break;
    case DragMove:
    case DragAim:
        break;
    }
    update();
}

void MainView::RightDown(int32_t x, int32_t y, const QPoint& globalPos) {
    CancelDrag();
    ChangeCard(x, y);
    menuPoint = QPoint(x, y);
    UpdateMenuStates();
    host.ShowContextMenu(globalPos);
}

void MainView::mousePressEvent(QMouseEvent* event) {
    QPoint p = event->position().toPoint();
    nudges.End();
    freeDrag = event->modifiers() & Qt::ShiftModifier;
    if (event->button() == Qt::LeftButton) {
        // A drag whose release never arrived (a box opened while the button
        // was held took it) ends here, uncommitted.
        CancelDrag();
        lastClick = p;
        LeftDown(p.x(), p.y());
    } else if (event->button() == Qt::RightButton) {
        RightDown(p.x(), p.y(), event->globalPosition().toPoint());
    }
}

void MainView::mouseMoveEvent(QMouseEvent* event) {
    QPoint p = event->position().toPoint();
    // The pointer moving without the left button while a drag is under way
    // means the release went elsewhere: the drag is cancelled, as the
    // platform's cancel-mode message would, instead of following the
    // pointer and committing on some later release.
    if (Dragging() && !(event->buttons() & Qt::LeftButton))
        CancelDrag();
    // Holding Shift drags freely; the mark follows the key at once.
    bool free = event->modifiers() & Qt::ShiftModifier;
    if (Dragging() && free != freeDrag) {
        freeDrag = free;
        RepaintCard(activeCard);
    }
    Move(p.x(), p.y());
}

void MainView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        QPoint p = event->position().toPoint();
        freeDrag = event->modifiers() & Qt::ShiftModifier;
        LeftUp(p.x(), p.y());
    }
}

void MainView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && Dragging()) {
        CancelDrag();
        return;
    }
    if (NudgeKey(event))
        return;
    QWidget::keyPressEvent(event);
}

// ---- painting ---------------------------------------------------------------

std::array<Point, 4> MainView::PreviewPoints(size_t index) const {
    const RenderState& state = document.Current();
    const Detector& d = state.detectors[index];
    std::array<Point, 4> pts = d.points;
    bool isSelected = static_cast<int32_t>(index) == document.SelectedIndex();
    const Point delta = DragDelta();
    auto shift = [&](Point& c) { c = ClampToPicture(state, {c.x + delta.x, c.y + delta.y}); };
    if (drag == DragCorner && isSelected && activeHandle >= 0) {
        CornerSnap snap = DraggedCorner();
        if (snap.target)
            pts[static_cast<size_t>(activeHandle)] = snap.point;
        else
            shift(pts[static_cast<size_t>(activeHandle)]);
    } else if (drag == DragMove && document.SelectedIndex() >= 0) {
        const Detector& sel = state.detectors[static_cast<size_t>(document.SelectedIndex())];
        bool moves = mode == ModeMove ? isSelected : (mode == ModeMoveCard && d.card == sel.card);
        std::optional<SnapTarget> target;
        const Point move = moves && mode == ModeMove ? MoveOffset(&target) : Point{};
        if (moves)
            for (Point& c : pts) {
                if (target)
                    c = ClampToPicture(state, {c.x + move.x, c.y + move.y});
                else
                    shift(c);
            }
    }
    return pts;
}

void MainView::paintEvent(QPaintEvent* event) {
    TimingTrace timing("MainView::OnPaint");
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    const RenderState& state = document.Current();
    ViewGeometry g = Geometry();
    const int32_t w = static_cast<int32_t>(state.width), h = static_cast<int32_t>(state.height);
    const uint32_t cw = state.CanvasWidth(), ch = state.CanvasHeight();
    const int32_t sourceX = PictureOnCanvas(state).left * zoom;
    const QColor shadow(230, 230, 230);
    const QColor frameColour = palette().color(QPalette::Dark);
    for (int32_t i = 0; i < g.CardCount(); ++i) {
        Rect r = g.CardArea(i);
        int32_t W = w * zoom, H = h * zoom;
        if (!event->rect().intersects(QRect(r.left - 1, r.top - 1, W + 8, H + 8)))
            continue;
        painter.fillRect(QRect(QPoint(r.left + W + 1, r.top + 4), QPoint(r.left + W + 5, r.top + H + 5)),
                         shadow);
        painter.fillRect(QRect(QPoint(r.left + 4, r.top + H + 1), QPoint(r.left + W, r.top + H + 5)), shadow);
        painter.setPen(i == activeCard ? QColor(255, 0, 0) : frameColour);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.left - 1, r.top - 1, W + 1, H + 1);

        Bitmap canvas = BackgroundOnCanvas(state, static_cast<size_t>(i));
        for (size_t k = 0; k < state.detectors.size(); ++k) {
            const Detector& d = state.detectors[k];
            if (static_cast<int64_t>(d.card) != i)
                continue;
            bool isSelected = static_cast<int32_t>(k) == document.SelectedIndex();
            const Detector& shown = isSelected && erasePreview ? *erasePreview : d;
            DrawnArea area = DrawDetectorOnCanvas(canvas, PreviewPoints(k), shown,
                                                  isSelected ? activeHandle : -1, isSelected);
            host.AreaPainted(area.card, area.number, area.count);
        }
        QImage zoomed = ImageOf(canvas).scaled(static_cast<int>(cw) * zoom, static_cast<int>(ch) * zoom,
                                               Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (zoomed.format() != QImage::Format_RGB32)
            zoomed = zoomed.convertToFormat(QImage::Format_RGB32);
        for (size_t k = 0; k < state.detectors.size(); ++k) {
            const Detector& d = state.detectors[k];
            if (static_cast<int64_t>(d.card) != i || !d.directional)
                continue;
            const bool aiming = static_cast<int32_t>(k) == document.SelectedIndex() && drag == DragAim;
            uint32_t angle =
                aiming ? AngleOf({dragStart.x(), dragStart.y()}, {dragLast.x(), dragLast.y()}, d.angle)
                       : d.angle;
            DrawDirectionArrowOn(zoomed, PreviewPoints(k), d.IsLine(), angle, zoom);
            if (aiming) {
                Point a = g.ToCanvas(activeCard, dragStart.x(), dragStart.y());
                Point b = g.ToCanvas(activeCard, dragLast.x(), dragLast.y());
                DrawGuideLine(zoomed, QPoint(a.x * zoom, a.y * zoom), QPoint(b.x * zoom, b.y * zoom));
            }
        }
        PaintEditingMarks(zoomed, i);
        painter.drawImage(QPoint(r.left, r.top), zoomed, QRect(sourceX, 0, W, H));
    }
}

} // namespace korvex
