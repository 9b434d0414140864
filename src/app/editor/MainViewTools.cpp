// The main view's editing tools: snapping while a corner or a detector is
// dragged, nudging the selection with the arrow keys, corner positions typed
// in the inspector, the camera-size conversion and copying a card's
// detectors to another card. Each edit is one core function.
#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/editor/EditorOverlay.h"
#include "app/editor/MainView.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "model/CopyDetectors.h"
#include "model/DetectorGeometry.h"
#include "model/PictureCoordinates.h"
#include "model/ProjectConvert.h"

#include <QAction>
#include <QKeyEvent>

namespace korvex {

void MainView::ChooseDetector(int32_t index) {
    const RenderState& state = document.Current();
    if (index < 0 || static_cast<size_t>(index) >= state.detectors.size())
        return;
    CancelDrag();
    const auto card = static_cast<int32_t>(state.detectors[static_cast<size_t>(index)].card);
    activeCard = card;
    Select(index);
    update();
}

namespace {

// How close, in screen pixels, a dragged corner must come to another
// detector's corner to snap to it.
constexpr double kSnapScreenPixels = 6.0;

QString CardLetter(uint32_t card) {
    return card < 8 ? QString(QChar('A' + static_cast<int>(card))) : QString();
}

std::string SizeText(uint32_t width, uint32_t height) {
    return std::to_string(width) + " × " + std::to_string(height);
}

} // namespace

// ---- snapping -----------------------------------------------------------------

CornerSnap MainView::DraggedCorner() const {
    const RenderState& state = document.Current();
    Point off = DragDelta();
    // Without a move (less than one zoom step) the corner stays put and
    // does not jump to a neighbour either; with Shift it is only clamped.
    double reach = freeDrag || (off.x == 0 && off.y == 0) ? -1.0 : kSnapScreenPixels / zoom;
    return SnapCorner(state, document.SelectedIndex(), activeHandle, off.x, off.y, reach);
}

Point MainView::MoveOffset(std::optional<SnapTarget>* target) const {
    Point off = DragDelta();
    if (mode != ModeMove || freeDrag || (off.x == 0 && off.y == 0))
        return off;
    const RenderState& state = document.Current();
    MoveSnap snap = SnapMove(state, document.SelectedIndex(), off.x, off.y, kSnapScreenPixels / zoom);
    if (target)
        *target = snap.target;
    return {snap.dx, snap.dy};
}

std::optional<SnapTarget> MainView::SnapTargetShown() const {
    if (drag == DragCorner && activeHandle >= 0 && document.SelectedDetector())
        return DraggedCorner().target;
    std::optional<SnapTarget> target;
    if (drag == DragMove && document.SelectedDetector())
        MoveOffset(&target);
    return target;
}

void MainView::PaintEditingMarks(QImage& zoomed, int32_t card) const {
    const Detector* sel = document.SelectedDetector();
    if (sel && static_cast<int64_t>(sel->card) == card && zoom >= kCornerNumbersZoom)
        DrawCornerNumbers(zoomed, PreviewPoints(static_cast<size_t>(document.SelectedIndex())),
                          CornerCount(*sel), zoom);
    if (card == activeCard)
        if (std::optional<SnapTarget> target = SnapTargetShown())
            DrawSnapMarker(zoomed, target->point, zoom);
}

// ---- keyboard -------------------------------------------------------------------

bool MainView::NudgeKey(QKeyEvent* event) {
    int32_t dx = 0, dy = 0;
    switch (event->key()) {
    case Qt::Key_Left:
        dx = -1;
        break;
    case Qt::Key_Right:
        dx = 1;
        break;
    case Qt::Key_Up:
        dy = -1;
        break;
    case Qt::Key_Down:
        dy = 1;
        break;
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
        return false; // a modifier on its own does not end a run of nudges
    default:
        nudges.End();
        return false;
    }
    if (Dragging() || !document.SelectedDetector())
        return false;
    int32_t step = (event->modifiers() & Qt::ShiftModifier) ? 10 : 1;
    if (NudgeSelected(document, nudges, dx * step, dy * step) == NudgeOutcome::Moved) {
        Select(document.SelectedIndex());
        update();
    }
    return true;
}

// ---- commands -------------------------------------------------------------------

void MainView::UpdateToolStates() {
    const RenderState& state = document.Current();
    SetEnabled(CmdConvertTo320, state.width != 320);
    SetEnabled(CmdConvertTo180, state.width != 180);
    bool any = false;
    for (const Detector& d : state.detectors)
        any = any || static_cast<int64_t>(d.card) == activeCard;
    SetEnabled(CmdCopyDetectorsToCamera, activeCard >= 0 && any && state.backgrounds.size() > 1);
}

bool MainView::ToolCommand(int id) {
    switch (id) {
    case CmdConvertTo320:
        ConvertTo(320, 240);
        return true;
    case CmdConvertTo180:
        ConvertTo(180, 144);
        return true;
    case CmdCopyDetectorsToCamera:
        CopyDetectorsToCamera();
        return true;
    default:
        return false;
    }
}

void MainView::ConvertTo(uint32_t width, uint32_t height) {
    ConvertOutcome outcome = ConvertProject(document, width, height, false);
    if (outcome.refusal == ConvertRefusal::OutputsInUse) {
        std::string list;
        for (uint32_t y : outcome.outputsInUse)
            list += (list.empty() ? "Y" : ", Y") + std::to_string(y);
        QString text = QString::fromStdString(FillText(LoadTextA(text::convert_drops_outputs), {list}));
        if (!host.Prompts().Warning(host.DialogOwner(), text, Text(text::convert_caption)))
            return;
        outcome = ConvertProject(document, width, height, true);
    }
    if (!outcome.changed)
        return;
    document.Announce(DocumentChange::Layout);
    Select(document.SelectedIndex());
    host.ShowStatusText(FillText(LoadTextA(text::convert_converted), {SizeText(width, height)}));
}

void MainView::CopyDetectorsToCamera() {
    if (activeCard < 0)
        return;
    const RenderState& state = document.Current();
    uint32_t from = static_cast<uint32_t>(activeCard);
    QString letter = CardLetter(from);
    QStringList names;
    std::vector<uint32_t> cards;
    for (uint32_t c = 0; c < std::min<size_t>(8, state.backgrounds.size()); ++c) {
        if (c == from)
            continue;
        names << CardLetter(c);
        cards.push_back(c);
    }
    Prompter& prompts = host.Prompts();
    if (cards.empty()) {
        prompts.Information(host.DialogOwner(), Text(text::copy_no_other_camera),
                            Text(text::copy_detectors_caption));
        return;
    }
    bool any = false;
    for (const Detector& d : state.detectors)
        any = any || d.card == from;
    if (!any) {
        prompts.Information(
            host.DialogOwner(),
            QString::fromStdString(FillText(LoadTextA(text::copy_nothing_to_copy), {letter.toStdString()})),
            Text(text::copy_detectors_caption));
        return;
    }
    QString ask =
        QString::fromStdString(FillText(LoadTextA(text::copy_detectors_ask), {letter.toStdString()}));
    int choice = prompts.Choose(host.DialogOwner(), ask, Text(text::copy_detectors_caption), names);
    if (choice < 0 || static_cast<size_t>(choice) >= cards.size())
        return;
    uint32_t to = cards[static_cast<size_t>(choice)];
    CopyOutcome outcome = CopyDetectorsToCard(document, from, to);
    if (!outcome.changed)
        return;
    Select(document.SelectedIndex());
    update();
    std::string count = std::to_string(outcome.copied), target = CardLetter(to).toStdString();
    if (outcome.renumbered.empty()) {
        host.ShowStatusText(FillText(LoadTextA(text::copy_copied_detectors), {count, target}));
        return;
    }
    std::string list;
    for (const Renumbered& r : outcome.renumbered) {
        if (!list.empty())
            list += ", ";
        list += letter.toStdString() + std::to_string(r.from) + "→" + target + std::to_string(r.to);
    }
    host.ShowStatusText(FillText(LoadTextA(text::copy_copied_renumbered), {count, target, list}));
}

} // namespace korvex
