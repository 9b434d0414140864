#include "app/editor/CornerFields.h"

#include "app/common/UiText.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "model/PictureCoordinates.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <optional>

namespace korvex {

namespace {

std::optional<int32_t> ReadInteger(const QString& text) {
    bool ok = false;
    int value = text.trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

const char* const MarkedStyle = "QLineEdit { background: #ffd0d0; border: 1px solid #d00000; }";

} // namespace

CornerFields::CornerFields(Apply apply, QWidget* parent)
    : QGroupBox(Text(text::corners_title), parent), apply(std::move(apply)) {
    setObjectName(QStringLiteral("corners"));
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    grid->addWidget(new QLabel(Text(text::corners_corner_x)), 0, 1, Qt::AlignHCenter);
    grid->addWidget(new QLabel(Text(text::corners_corner_y)), 0, 2, Qt::AlignHCenter);
    for (int k = 0; k < 4; ++k) {
        labels[size_t(k)] = new QLabel(QString::number(k + 1));
        grid->addWidget(labels[size_t(k)], k + 1, 0, Qt::AlignRight);
        for (int axis = 0; axis < 2; ++axis) {
            auto* edit = new QLineEdit;
            edit->setObjectName(QStringLiteral("corner%1%2").arg(k + 1).arg(axis == 0 ? 'x' : 'y'));
            edit->setMaxLength(6);
            edit->setMaximumWidth(56);
            edit->setAlignment(Qt::AlignRight);
            fields[size_t(k)][size_t(axis)] = edit;
            grid->addWidget(edit, k + 1, axis + 1);
            connect(edit, &QLineEdit::editingFinished, this, [this, k] {
                if (fields[size_t(k)][0]->isModified() || fields[size_t(k)][1]->isModified())
                    Commit(k);
            });
            connect(edit, &QLineEdit::textEdited, this, [this, k, axis] { SetMarked(k, axis, false); });
        }
    }
    grid->setColumnStretch(3, 1);
}

bool CornerFields::Marked(int corner, int axis) const {
    return Field(corner, axis)->property("refused").toBool();
}

void CornerFields::SetMarked(int corner, int axis, bool on) {
    QLineEdit* edit = Field(corner, axis);
    if (edit->property("refused").toBool() == on)
        return;
    edit->setProperty("refused", on);
    edit->setStyleSheet(on ? QString::fromLatin1(MarkedStyle) : QString());
    edit->setToolTip(
        on ? QString::fromStdString(FillText(LoadTextA(text::corners_corner_outside),
                                             {std::to_string(lastColumn), std::to_string(lastRow)}))
           : QString());
}

void CornerFields::Show(const RenderState& state, int32_t index) {
    const Detector* d =
        index >= 0 && size_t(index) < state.detectors.size() ? &state.detectors[size_t(index)] : nullptr;
    PictureArea area = PictureAreaOf(state);
    lastColumn = std::max(0, area.width - 1);
    lastRow = std::max(0, area.height - 1);
    setEnabled(d != nullptr);
    bool sameDetector = d && index == shownIndex;
    shownIndex = d ? index : -1;
    int count = d ? CornerCount(*d) : 4;
    for (int k = 0; k < 4; ++k) {
        bool used = k < count;
        labels[size_t(k)]->setVisible(used);
        Point p = d ? ToPicture(area, d->points[size_t(k)]) : Point{};
        for (int axis = 0; axis < 2; ++axis) {
            QLineEdit* edit = Field(k, axis);
            edit->setVisible(used);
            int32_t value = axis == 0 ? p.x : p.y;
            bool has = d && used;
            if (has && sameDetector && known[size_t(k)][size_t(axis)] &&
                shown[size_t(k)][size_t(axis)] == value && Marked(k, axis))
                continue; // keep the refused text until it is typed again
            known[size_t(k)][size_t(axis)] = has;
            shown[size_t(k)][size_t(axis)] = value;
            SetMarked(k, axis, false);
            QString text = has ? QString::number(value) : QString();
            if (edit->text() != text)
                edit->setText(text);
            edit->setModified(false);
        }
    }
}

void CornerFields::Commit(int corner) {
    std::optional<int32_t> x = ReadInteger(Field(corner, 0)->text());
    std::optional<int32_t> y = ReadInteger(Field(corner, 1)->text());
    SetMarked(corner, 0, !x);
    SetMarked(corner, 1, !y);
    if (!x || !y)
        return;
    CornerOutcome outcome = apply(corner, {*x, *y});
    if (outcome == CornerOutcome::OutsidePicture) {
        SetMarked(corner, 0, *x < 0 || *x > lastColumn);
        SetMarked(corner, 1, *y < 0 || *y > lastRow);
        return;
    }
    Field(corner, 0)->setModified(false);
    Field(corner, 1)->setModified(false);
}

} // namespace korvex
