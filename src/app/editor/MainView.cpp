#include "app/editor/MainView.h"

#include "app/common/AppStrings.h"
#include "app/common/Icons.h"
#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/editor/DetectorDrawing.h"
#include "framework/BinaryFile.h"
#include "framework/ChangeFlags.h"
#include "framework/LocalException.h"
#include "framework/Trace.h"
#include "model/DetectorTools.h"

#include <QAction>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace korvex {

MainView::MainView(MainViewHost& host, Document& document, QWidget* parent)
    : QWidget(parent), host(host), document(document) {
    document.SetOwner(this);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setAutoFillBackground(false);
    resize(100, 100);
    UpdateCursor();
}

// ---- DocumentOwner --------------------------------------------------------

void MainView::TitleChanged(const std::string& path) { host.TitleChanged(path); }

void MainView::SelectDetector(int32_t index) { Select(index); }

void MainView::RefreshView() { update(); }

void MainView::ComposerStateChanged(RenderState& state) { host.ComposerStateChanged(state); }

// ---- selection and toolbar ------------------------------------------------

void MainView::Select(int32_t index) {
    ChangeFlags::Mark(ChangeFlags::SelectionChanged);
    RenderState& state = document.Current();
    state.selected = index;
    host.ComposerStateChanged(state);
    if (index >= 0 && static_cast<size_t>(index) < state.detectors.size()) {
        const Detector& d = state.detectors[static_cast<size_t>(index)];
        divisions = static_cast<int32_t>(std::min<uint32_t>(d.divisions, 6));
        penWidth = static_cast<int32_t>(std::clamp<uint32_t>(d.pen_width, 1, 4));
        fill = d.fill;
    }
    UpdateToolbar();
}

Detector* MainView::Selected() { return document.Current().SelectedDetector(); }

// Once the history holds its full hundred states, the document drops the
// oldest one and keeps its current index for the new state, so it says
// nothing about the selection and marks no document change when the
// project was already modified. The edit still changes what the problems
// list and the toolbar show, so every edit marks both bits here.
void MainView::MarkEdited() { ChangeFlags::Mark(ChangeFlags::DocumentChanged | ChangeFlags::SelectionChanged); }

RenderState& MainView::Edit() {
    RenderState& fresh = document.NewRenderState();
    MarkEdited();
    return fresh;
}

void MainView::Edit(RenderState ready) {
    document.NewRenderState(std::move(ready));
    MarkEdited();
    // The view's pen width, divisions and fill follow the edited detector.
    Select(document.Current().selected);
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
    const Detector* sel = document.Current().SelectedDetector();
    if ((mode == ModeErase && !sel) || (mode == ModeAim && !(sel && sel->directional))) {
        mode = ModeReshape;
        UpdateCursor();
    }
    for (int k = 1; k <= 4; ++k)
        SetChecked(CmdPenWidth1 + k - 1, penWidth == k);
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
    SetEnabled(CmdPaste, clipboardFull);
    SetEnabled(CmdModeAim, sel != nullptr && sel->directional);
}

void MainView::UpdateMenuStates() {
    UpdateToolbar();
    SetEnabled(CmdSave, document.Modified());
    SetEnabled(CmdUndo, document.CanUndo());
    SetEnabled(CmdRedo, document.CanRedo());
    bool card = activeCard >= 0;
    for (int id : {CmdAddQuad, CmdAddLine, CmdAddQuadHere, CmdAddLineHere, CmdLoadBackground, CmdLiveBackgrounds})
        SetEnabled(id, card);
}

void MainView::Relayout() {
    ViewGeometry g = Geometry();
    resize(g.ViewWidth(), g.ViewHeight());
    update();
}

void MainView::UpdateCursor() { setCursor(ModeCursor(mode)); }

// ---- commands ---------------------------------------------------------------

bool MainView::Command(int id) {
    switch (id) {
    case CmdZoomIn:
        if (zoom < 6) {
            // A drag measures its way in screen pixels of one zoom; it
            // cannot carry over to another.
            CancelDrag();
            ++zoom;
            ChangeFlags::Mark(ChangeFlags::LayoutChanged);
        }
        return true;
    case CmdZoomOut:
        if (zoom > 1) {
            CancelDrag();
            --zoom;
            ChangeFlags::Mark(ChangeFlags::LayoutChanged);
        }
        return true;
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
        break;
    }
    // Everything below changes or replaces the document: a drag under way
    // would otherwise keep pointing into a state the command drops.
    switch (id) {
    case CmdAddQuad:
    case CmdAddLine:
    case CmdAddQuadHere:
    case CmdAddLineHere:
    case CmdLoadBackground:
    case CmdLiveBackgrounds:
    case CmdDelete:
    case CmdCopy:
    case CmdPaste:
    case CmdUndo:
    case CmdRedo:
        CancelDrag();
        break;
    default:
        return false;
    }
    switch (id) {
    case CmdAddQuad:
        AddDetector(false, false);
        break;
    case CmdAddLine:
        AddDetector(true, false);
        break;
    case CmdAddQuadHere:
        AddDetector(false, true);
        break;
    case CmdAddLineHere:
        AddDetector(true, true);
        break;
    case CmdLoadBackground:
        LoadBackground();
        break;
    case CmdLiveBackgrounds:
        LiveBackgrounds();
        break;
    case CmdDelete:
        DeleteDetector();
        break;
    case CmdCopy:
        CopyDetector();
        break;
    case CmdPaste:
        Paste();
        break;
    case CmdUndo:
        if (document.CanUndo()) {
            document.Undo();
            host.ComposerStateChanged(document.Current());
        }
        break;
    case CmdRedo:
        if (document.CanRedo()) {
            document.Redo();
            host.ComposerStateChanged(document.Current());
        }
        break;
    default:
        break;
    }
    return true;
}

void MainView::SetMode(int32_t m) {
    if (m == mode)
        return;
    CancelDrag();
    mode = m;
    UpdateCursor();
    UpdateToolbar();
}

void MainView::SetPenWidth(int32_t k) {
    if (const Detector* sel = Selected()) {
        if (static_cast<int32_t>(sel->pen_width) == k)
            return;
        RenderState copy = document.Current();
        copy.SelectedDetector()->pen_width = static_cast<uint32_t>(k);
        Edit(std::move(copy));
        return;
    }
    if (penWidth != k) {
        penWidth = k;
        UpdateToolbar();
    }
}

void MainView::SetPattern(int32_t f, int32_t d) {
    if (const Detector* sel = Selected()) {
        if (sel->fill == f && static_cast<int32_t>(sel->divisions) == d)
            return;
        RenderState copy = document.Current();
        copy.SelectedDetector()->fill = f;
        copy.SelectedDetector()->divisions = static_cast<uint32_t>(d);
        Edit(std::move(copy));
        return;
    }
    if (fill != f || divisions != d) {
        fill = f;
        divisions = d;
        UpdateToolbar();
    }
}

void MainView::AddDetector(bool line, bool atMenuPoint) {
    if (activeCard < 0)
        return;
    DrawingSettings settings;
    settings.card = static_cast<uint32_t>(activeCard);
    settings.divisions = static_cast<uint32_t>(divisions);
    settings.pen_width = static_cast<uint32_t>(penWidth);
    settings.line = line ? 1 : 0;
    settings.fill = fill;
    std::optional<Point> at;
    if (atMenuPoint)
        at = Geometry().ToCanvas(activeCard, menuPoint.x(), menuPoint.y());
    int32_t index = korvex::AddDetector(document, settings, at);
    // The fill chosen while nothing was selected is meant for the next new
    // detector, like the pen width and divisions; the new state is this
    // edit's own, so the new detector gets it here.
    RenderState& fresh = document.Current();
    if (index >= 0 && static_cast<size_t>(index) < fresh.detectors.size())
        fresh.detectors[static_cast<size_t>(index)].fill = fill;
    MarkEdited();
    Select(index);
}

void MainView::LoadBackground() {
    if (activeCard < 0)
        return;
    QString path = host.Prompts().OpenFile(host.DialogOwner(), Text(217), QStringLiteral("*.bmp"));
    if (path.isEmpty())
        return;
    std::vector<uint8_t> bytes = BinaryFile::ReadAll(path.toStdString());
    const RenderState& state = document.Current();
    if (static_cast<size_t>(activeCard) >= state.backgrounds.size())
        return;
    Bitmap picture = state.backgrounds[static_cast<size_t>(activeCard)];
    picture.LoadBmp(bytes.data(), bytes.size()); // raises its own messages; nothing changes then
    if (picture.Width() < 320)
        picture.ToGrey();
    RenderState& fresh = Edit();
    fresh.backgrounds[static_cast<size_t>(activeCard)] = std::move(picture);
}

void MainView::LiveBackgrounds() {
    if (!host.LivePicturesAvailable()) {
        host.Prompts().Information(host.DialogOwner(), Text(kStrLivePlaceholder), Text(135));
        return;
    }
    size_t cards = document.Current().backgrounds.size();
    std::vector<Bitmap> pictures(cards);
    std::vector<bool> have(cards, false);
    for (size_t i = 0; i < cards; ++i)
        have[i] = host.CopyLivePicture(static_cast<int>(i), pictures[i]);
    RenderState& fresh = Edit();
    for (size_t i = 0; i < cards; ++i)
        if (have[i])
            fresh.backgrounds[i] = std::move(pictures[i]);
}

void MainView::CopyDetector() {
    if (const Detector* sel = Selected()) {
        clipboard = *sel;
        clipboardFull = true;
    } else {
        clipboardFull = false;
    }
    UpdateToolbar();
}

void MainView::Paste() {
    if (!clipboardFull || activeCard < 0)
        return;
    RenderState& fresh = Edit();
    Detector copy = clipboard;
    copy.card = static_cast<uint32_t>(activeCard);
    // A detector copied from a project with another picture size keeps its
    // place as far as the picture allows and gets a clean exclusion map of
    // this canvas, so the project stays savable.
    if (copy.exclusion.Width() != fresh.CanvasWidth() || copy.exclusion.Height() != fresh.CanvasHeight()) {
        copy.exclusion = Bitmap(fresh.CanvasWidth(), fresh.CanvasHeight());
        for (Point& p : copy.points)
            p = ClampToPicture(fresh, p);
    }
    fresh.detectors.push_back(std::move(copy));
    Select(static_cast<int32_t>(fresh.detectors.size()) - 1);
}

void MainView::DeleteDetector() {
    if (!Selected())
        return;
    RenderState& fresh = Edit();
    fresh.detectors.erase(fresh.detectors.begin() + fresh.selected);
    fresh.selected = -1;
    activeHandle = -1;
    Select(-1);
}

void MainView::ProjectReplaced() {
    CancelDrag();
    activeCard = 0;
    activeHandle = -1;
    ChangeFlags::Mark(ChangeFlags::SelectionChanged);
}

// ---- property setters -------------------------------------------------------

template <typename Change> void MainView::EditSelected(Change change) {
    const Detector* sel = Selected();
    if (!sel)
        return;
    Detector probe = *sel;
    if (!change(probe))
        return;
    RenderState& fresh = Edit();
    change(*fresh.SelectedDetector());
}

void MainView::SetNumber(uint32_t v) {
    EditSelected([v](Detector& d) { return d.number != v ? (d.number = v, true) : false; });
}
void MainView::SetDelay(uint32_t v) {
    EditSelected([v](Detector& d) { return d.delay != v ? (d.delay = v, true) : false; });
}
void MainView::SetExtend(uint32_t v) {
    EditSelected([v](Detector& d) { return d.extend != v ? (d.extend = v, true) : false; });
}
void MainView::SetFeatureThreshold(uint32_t v) {
    EditSelected([v](Detector& d) { return d.feature_threshold != v ? (d.feature_threshold = v, true) : false; });
}
void MainView::SetThreshold(uint32_t v) {
    EditSelected([v](Detector& d) { return d.threshold != v ? (d.threshold = v, true) : false; });
}
void MainView::SetThresholds(uint32_t f, uint32_t t) {
    EditSelected([f, t](Detector& d) {
        if (d.feature_threshold == f && d.threshold == t)
            return false;
        d.feature_threshold = f;
        d.threshold = t;
        return true;
    });
}
void MainView::SetAngle(uint32_t v) {
    EditSelected([v](Detector& d) { return d.angle != v ? (d.angle = v, true) : false; });
}
void MainView::SetContrastKind() {
    EditSelected([](Detector& d) {
        if (d.contrast)
            return false;
        d.contrast = true;
        d.directional = false;
        return true;
    });
}
void MainView::SetDirectionalKind() {
    EditSelected([](Detector& d) {
        if (d.directional && !d.contrast)
            return false;
        d.contrast = false;
        d.directional = true;
        return true;
    });
}
void MainView::SetPlainKind() {
    EditSelected([](Detector& d) {
        if (!d.contrast && !d.directional)
            return false;
        d.contrast = false;
        d.directional = false;
        return true;
    });
}

std::array<uint32_t, 8> MainView::CardNumbers() const {
    std::array<uint32_t, 8> words{};
    for (const Detector& d : document.Current().detectors)
        if (d.card < 8 && d.number >= 1 && d.number <= 32)
            words[d.card] |= 1u << (d.number - 1);
    return words;
}

// ---- pointer --------------------------------------------------------------

int32_t MainView::CornerHit(int32_t x, int32_t y) const {
    const Detector* sel = document.Current().SelectedDetector();
    if (!sel)
        return -1;
    return CornerAt(*sel, Geometry().ToCanvas(activeCard, x, y));
}

int32_t MainView::PickDetector(int32_t x, int32_t y) const {
    const RenderState& state = document.Current();
    if (activeCard < 0)
        return -1;
    Point p = Geometry().ToCanvas(activeCard, x, y);
    return CycleHit(DetectorsAt(state, activeCard, p), state.selected);
}

void MainView::ChangeCard(int32_t x, int32_t y) {
    int32_t c = Geometry().CardAt(x, y);
    if (c == activeCard)
        return;
    ChangeFlags::Mark(ChangeFlags::SelectionChanged);
    activeCard = c;
    document.Current().selected = -1;
    host.ComposerStateChanged(document.Current());
}

void MainView::LeftDown(int32_t x, int32_t y) {
    ChangeCard(x, y);
    RenderState& state = document.Current();
    switch (mode) {
    case ModeReshape: {
        int32_t g = state.selected;
        int32_t corner = CornerHit(x, y);
        if (corner >= 0) {
            dragStart = dragLast = QPoint(x, y);
            draggingPoint = true;
        } else {
            g = PickDetector(x, y);
        }
        if (corner == activeHandle && g == state.selected)
            return;
        activeHandle = corner;
        Select(g);
        break;
    }
    case ModeErase:
        if (state.SelectedDetector()) {
            eraseState = &Edit();
            EraseAround(x, y);
        }
        break;
    case ModeMove:
    case ModeMoveCard: {
        int32_t g = PickDetector(x, y);
        if (g != state.selected)
            Select(g);
        if (g != -1) {
            dragStart = dragLast = QPoint(x, y);
            movingDetector = true;
        }
        break;
    }
    case ModeAim:
        if (state.SelectedDetector()) {
            dragStart = dragLast = QPoint(x, y);
            aiming = true;
        }
        break;
    default:
        break;
    }
}

void MainView::EraseAround(int32_t x, int32_t y) {
    if (!eraseState)
        return;
    Detector* d = eraseState->SelectedDetector();
    if (!d)
        return;
    ViewGeometry g = Geometry();
    for (int32_t dy = -4; dy <= 4; ++dy) {
        for (int32_t dx = -4; dx <= 4; ++dx) {
            Point p = g.ToCanvas(activeCard, x + dx, y + dy);
            if (p.x < 0 || p.y < 0 || static_cast<uint32_t>(p.x) >= d->exclusion.Width() ||
                static_cast<uint32_t>(p.y) >= d->exclusion.Height())
                continue;
            if (d->exclusion.PaintBlack(static_cast<uint32_t>(p.x), static_cast<uint32_t>(p.y)))
                ChangeFlags::Mark(ChangeFlags::SelectionChanged);
        }
    }
}

void MainView::Move(int32_t x, int32_t y) {
    QPoint p(x, y);
    switch (mode) {
    case ModeReshape:
        if (!draggingPoint) {
            int32_t corner = CornerHit(x, y);
            if (corner != activeHandle) {
                activeHandle = corner;
                ChangeFlags::Mark(ChangeFlags::SelectionChanged);
            }
        } else if (p != dragLast) {
            dragLast = p;
            ChangeFlags::Mark(ChangeFlags::SelectionChanged);
        }
        break;
    case ModeErase:
        if (eraseState)
            EraseAround(x, y);
        break;
    case ModeMove:
    case ModeMoveCard:
        if (movingDetector && p != dragLast) {
            dragLast = p;
            ChangeFlags::Mark(ChangeFlags::SelectionChanged);
        }
        break;
    case ModeAim:
        if (aiming) {
            dragLast = p;
            ChangeFlags::Mark(ChangeFlags::SelectionChanged);
        }
        break;
    default:
        break;
    }
}

static Bitmap WhiteLike(const Bitmap& b) { return Bitmap(b.Width(), b.Height()); }

void MainView::LeftUp(int32_t x, int32_t y) {
    int32_t dx = (x - dragStart.x()) / zoom;
    int32_t dy = (y - dragStart.y()) / zoom;
    ViewGeometry g = Geometry();
    switch (mode) {
    case ModeReshape:
        if (draggingPoint) {
            if ((dx != 0 || dy != 0) && activeHandle >= 0 && Selected()) {
                RenderState& fresh = Edit();
                Detector& d = *fresh.SelectedDetector();
                Point& c = d.points[static_cast<size_t>(activeHandle)];
                c = {g.ClampX(c.x + dx), g.ClampY(c.y + dy)};
                d.exclusion = WhiteLike(d.exclusion);
            }
            activeHandle = CornerHit(x, y);
            draggingPoint = false;
            ChangeFlags::Mark(ChangeFlags::SelectionChanged);
        } else {
            int32_t corner = CornerHit(x, y);
            if (corner != activeHandle) {
                activeHandle = corner;
                ChangeFlags::Mark(ChangeFlags::SelectionChanged);
            }
        }
        break;
    case ModeErase:
        eraseState = nullptr;
        break;
    case ModeMove:
    case ModeMoveCard:
        if (movingDetector) {
            if ((dx != 0 || dy != 0) && Selected()) {
                RenderState& fresh = Edit();
                uint32_t card = fresh.SelectedDetector()->card;
                for (size_t i = 0; i < fresh.detectors.size(); ++i) {
                    Detector& d = fresh.detectors[i];
                    bool moves = mode == ModeMove ? static_cast<int32_t>(i) == fresh.selected : d.card == card;
                    if (!moves)
                        continue;
                    for (Point& c : d.points)
                        c = {g.ClampX(c.x + dx), g.ClampY(c.y + dy)};
                    d.exclusion = WhiteLike(d.exclusion);
                }
            }
            movingDetector = false;
            ChangeFlags::Mark(ChangeFlags::SelectionChanged);
        }
        break;
    case ModeAim:
        if (aiming) {
            if (Selected()) {
                RenderState& fresh = Edit();
                dragLast = QPoint(x, y);
                Detector& d = *fresh.SelectedDetector();
                d.angle = AngleOf({dragStart.x(), dragStart.y()}, {dragLast.x(), dragLast.y()}, d.angle);
            }
            aiming = false;
            ChangeFlags::Mark(ChangeFlags::SelectionChanged);
        }
        break;
    default:
        break;
    }
}

void MainView::CancelDrag() {
    if (draggingPoint) {
        draggingPoint = false;
        if (activeHandle != -1) {
            activeHandle = -1;
            ChangeFlags::Mark(ChangeFlags::SelectionChanged);
        }
    }
    eraseState = nullptr;
    if (movingDetector) {
        movingDetector = false;
        ChangeFlags::Mark(ChangeFlags::SelectionChanged);
    }
    if (aiming) {
        aiming = false;
        ChangeFlags::Mark(ChangeFlags::SelectionChanged);
    }
}

void MainView::RightDown(int32_t x, int32_t y, const QPoint& globalPos) {
    if (Dragging())
        CancelDrag();
    ChangeCard(x, y);
    menuPoint = QPoint(x, y);
    UpdateMenuStates();
    host.ShowContextMenu(globalPos);
}

void MainView::mousePressEvent(QMouseEvent* event) {
    QPoint p = event->position().toPoint();
    // A drag whose release never arrived (a box opened while the button
    // was held took it) ends here, uncommitted.
    if (event->button() == Qt::LeftButton && Dragging())
        CancelDrag();
    if (event->button() == Qt::LeftButton)
        LeftDown(p.x(), p.y());
    else if (event->button() == Qt::RightButton)
        RightDown(p.x(), p.y(), event->globalPosition().toPoint());
}

void MainView::mouseMoveEvent(QMouseEvent* event) {
    QPoint p = event->position().toPoint();
    // The pointer moving without the left button while a drag is under way
    // means the release went elsewhere: the drag is cancelled, as the
    // platform's cancel-mode message would, instead of following the
    // pointer and committing on some later release.
    if (Dragging() && !(event->buttons() & Qt::LeftButton))
        CancelDrag();
    Move(p.x(), p.y());
}

void MainView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        QPoint p = event->position().toPoint();
        LeftUp(p.x(), p.y());
    }
}

void MainView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && Dragging()) {
        CancelDrag();
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---- painting ---------------------------------------------------------------

std::array<Point, 4> MainView::PreviewPoints(size_t index) const {
    const RenderState& state = document.Current();
    const Detector& d = state.detectors[index];
    std::array<Point, 4> pts = d.points;
    bool isSelected = static_cast<int32_t>(index) == state.selected;
    int32_t dx = (dragLast.x() - dragStart.x()) / zoom;
    int32_t dy = (dragLast.y() - dragStart.y()) / zoom;
    ViewGeometry g = Geometry();
    if (draggingPoint && isSelected && activeHandle >= 0) {
        Point& c = pts[static_cast<size_t>(activeHandle)];
        c = {g.ClampX(c.x + dx), g.ClampY(c.y + dy)};
    } else if (movingDetector && state.selected >= 0) {
        const Detector& sel = state.detectors[static_cast<size_t>(state.selected)];
        bool moves = mode == ModeMove ? isSelected : (mode == ModeMoveCard && d.card == sel.card);
        if (moves)
            for (Point& c : pts)
                c = {g.ClampX(c.x + dx), g.ClampY(c.y + dy)};
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
    const QColor shadow(230, 230, 230);
    const QColor frameColour = palette().color(QPalette::Dark);
    for (int32_t i = 0; i < g.CardCount(); ++i) {
        Rect r = g.CardArea(i);
        int32_t W = w * zoom, H = h * zoom;
        if (!event->rect().intersects(QRect(r.left - 1, r.top - 1, W + 8, H + 8)))
            continue;
        painter.fillRect(QRect(QPoint(r.left + W + 1, r.top + 4), QPoint(r.left + W + 5, r.top + H + 5)), shadow);
        painter.fillRect(QRect(QPoint(r.left + 4, r.top + H + 1), QPoint(r.left + W, r.top + H + 5)), shadow);
        painter.setPen(i == activeCard ? QColor(255, 0, 0) : frameColour);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.left - 1, r.top - 1, W + 1, H + 1);

        Bitmap canvas(cw, ch);
        const Bitmap& bg = state.backgrounds[static_cast<size_t>(i)];
        if (bg.Width() == cw && bg.Height() == ch) {
            canvas = bg;
        } else if (!bg.Empty()) {
            uint32_t rows = std::min(bg.Height(), ch), cols = std::min(bg.Width(), cw);
            for (uint32_t y = 0; y < rows; ++y)
                std::copy_n(bg.Row(y), size_t(cols) * 3, canvas.Row(y));
        }
        for (size_t k = 0; k < state.detectors.size(); ++k) {
            const Detector& d = state.detectors[k];
            if (static_cast<int64_t>(d.card) != i)
                continue;
            bool isSelected = static_cast<int32_t>(k) == state.selected;
            DrawnArea area =
                DrawDetectorOnCanvas(canvas, PreviewPoints(k), d, isSelected ? activeHandle : -1, isSelected);
            if (area.counted)
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
            bool isSelected = static_cast<int32_t>(k) == state.selected;
            uint32_t angle = d.angle;
            if (isSelected && aiming) {
                angle = AngleOf({dragStart.x(), dragStart.y()}, {dragLast.x(), dragLast.y()}, d.angle);
                Point a = g.ToCanvas(activeCard, dragStart.x(), dragStart.y());
                Point b = g.ToCanvas(activeCard, dragLast.x(), dragLast.y());
                DrawDirectionArrowOn(zoomed, PreviewPoints(k), d.IsLine(), angle, zoom);
                DrawGuideLine(zoomed, QPoint(g.ClampX(a.x) * zoom, a.y * zoom),
                              QPoint(g.ClampX(b.x) * zoom, b.y * zoom));
                continue;
            }
            DrawDirectionArrowOn(zoomed, PreviewPoints(k), d.IsLine(), angle, zoom);
        }
        int32_t sourceX = cw == 240 ? (240 - w) * zoom / 2 : 0;
        painter.drawImage(QPoint(r.left, r.top), zoomed, QRect(sourceX, 0, W, H));
    }
}

} // namespace korvex
