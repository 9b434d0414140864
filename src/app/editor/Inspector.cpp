#include "app/editor/Inspector.h"

#include "app/common/UiText.h"
#include "app/editor/CornerFields.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "model/DetectorEdits.h"
#include "model/KeyboardEdits.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace korvex {

namespace {
template <typename W> W* Named(W* w, int id) {
    w->setObjectName(QStringLiteral("c%1").arg(id));
    return w;
}

std::optional<uint32_t> ReadUnsigned(const QString& text) {
    bool ok = false;
    uint value = text.trimmed().toUInt(&ok, 10);
    if (!ok || text.trimmed().isEmpty() || text.trimmed().startsWith(QLatin1Char('+')))
        return std::nullopt;
    return static_cast<uint32_t>(value);
}
} // namespace

Inspector::Inspector(Document& document, Prompter& prompter, QWidget* parent)
    : QWidget(parent), document(document) {
    BuildFields();
    LayOut();
    delayEdit = std::make_unique<SecondsEdit>(*delay, prompter);
    extendEdit = std::make_unique<SecondsEdit>(*extend, prompter);
    ConnectFields();
    ShowDetector(nullptr);
    documentChanges = this->document.Subscribe([this](uint32_t what) {
        if (what & DocumentChange::Selection)
            ShowDetector(this->document.SelectedDetector());
    });
}

// The fields and their labels, each named for tests and screenshots.
void Inspector::BuildFields() {
    detectorLabel = Named(new QLabel(Text(text::app_inspector_detector)), DetectorLabel);
    cardLetter = Named(new QLabel, CardLetter);
    cardLetter->setMinimumWidth(16);
    cardLetter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont bold = cardLetter->font();
    bold.setBold(true);
    cardLetter->setFont(bold);
    number = Named(new QLineEdit, Number);
    number->setMaxLength(10);
    number->setMaximumWidth(64);
    areaLabel = Named(new QLabel(Text(text::app_inspector_area)), AreaLabel);
    area = Named(new QLabel, Area);
    area->setMinimumWidth(60);
    area->setTextInteractionFlags(Qt::TextSelectableByMouse);

    kindGroup = Named(new QGroupBox(Text(text::app_inspector_kind)), KindGroup);
    plain = Named(new QCheckBox(Text(text::app_inspector_plain)), Plain);
    directional = Named(new QCheckBox(Text(text::app_inspector_directional)), Directional);
    contrast = Named(new QCheckBox(Text(text::app_inspector_contrast)), Contrast);
    angleLabel = Named(new QLabel(Text(text::app_inspector_angle)), AngleLabel);
    angle = Named(new QLineEdit, Angle);
    angle->setMaxLength(10);
    angle->setMaximumWidth(64);
    delayLabel = Named(new QLabel(Text(text::app_inspector_delay)), DelayLabel);
    delay = Named(new QLineEdit, Delay);
    delay->setMaximumWidth(64);
    extendLabel = Named(new QLabel(Text(text::app_inspector_extend)), ExtendLabel);
    extend = Named(new QLineEdit, Extend);
    extend->setMaximumWidth(64);
}

void Inspector::LayOut() {
    auto* top = new QGridLayout;
    top->addWidget(detectorLabel, 0, 0);
    auto* id = new QHBoxLayout;
    id->setSpacing(4);
    id->addWidget(cardLetter);
    id->addWidget(number);
    id->addStretch();
    top->addLayout(id, 0, 1);
    top->addWidget(areaLabel, 1, 0);
    top->addWidget(area, 1, 1);

    auto* kinds = new QGridLayout(kindGroup);
    kinds->addWidget(plain, 0, 0, 1, 3);
    kinds->addWidget(delayLabel, 1, 1);
    kinds->addWidget(delay, 1, 2);
    kinds->addWidget(extendLabel, 2, 1);
    kinds->addWidget(extend, 2, 2);
    kinds->addWidget(directional, 3, 0, 1, 3);
    kinds->addWidget(angleLabel, 4, 1);
    kinds->addWidget(angle, 4, 2);
    kinds->addWidget(contrast, 5, 0, 1, 3);
    kinds->setColumnMinimumWidth(0, 14);
    kinds->setColumnStretch(2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(kindGroup);
    corners = new CornerFields(
        [this](int32_t corner, Point picture) { return SetCornerAt(this->document, corner, picture); });
    layout->addWidget(corners);
    layout->addStretch();
}

void Inspector::ConnectFields() {
    connect(contrast, &QCheckBox::clicked, this, [this] {
        SetKind(this->document, DetectorKind::Contrast);
        ShowKinds(this->document.SelectedDetector());
    });
    connect(directional, &QCheckBox::clicked, this, [this] {
        SetKind(this->document, DetectorKind::Directional);
        ShowKinds(this->document.SelectedDetector());
    });
    connect(plain, &QCheckBox::clicked, this, [this] {
        SetKind(this->document, DetectorKind::Plain);
        ShowKinds(this->document.SelectedDetector());
    });
    // A field's value reaches the project when it is committed (Enter, or
    // focus leaving the field): one undo step per committed field, however
    // many keys it took. Escape puts the detector's value back.
    connect(number, &QLineEdit::editingFinished, this, [this] {
        if (auto v = ReadUnsigned(number->text()))
            SetNumber(this->document, *v);
        Restore();
    });
    // Directions are degrees 0..359; a project holding a larger angle could
    // not be saved, so such a text changes nothing, like one that is not a
    // number.
    connect(angle, &QLineEdit::editingFinished, this, [this] {
        if (auto v = ReadUnsigned(angle->text()); v && *v < 360)
            SetAngle(this->document, *v);
        Restore();
    });
    // The seconds fields refuse a bad key at once, so their text always reads.
    connect(delay, &QLineEdit::textEdited, this, [this] { delayEdit->Validate(); });
    connect(extend, &QLineEdit::textEdited, this, [this] { extendEdit->Validate(); });
    connect(delay, &QLineEdit::editingFinished, this, [this] {
        SetDelay(this->document, delayEdit->Value());
        Restore();
    });
    connect(extend, &QLineEdit::editingFinished, this, [this] {
        SetExtend(this->document, extendEdit->Value());
        Restore();
    });
    for (QLineEdit* edit : {number, angle, delay, extend})
        edit->installEventFilter(this);
}

Inspector::~Inspector() = default;

bool Inspector::eventFilter(QObject* watched, QEvent* event) {
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
    if (key && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && qobject_cast<QLineEdit*>(watched)) {
        // Taken before any shortcut, so the field hears it.
        event->accept();
        if (event->type() == QEvent::KeyPress)
            Restore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Inspector::Restore() {
    // The fields show the selected detector's values as the project holds
    // them, in the locale's way of writing decimals.
    ShowDetector(document.SelectedDetector());
}

QWidget* Inspector::Control(int id) const {
    return findChild<QWidget*>(QStringLiteral("c%1").arg(id));
}

void Inspector::SetTextIfDifferent(QLineEdit* edit, const QString& text) {
    if (edit->text() != text)
        edit->setText(text);
}

void Inspector::SetLabelIfDifferent(QLabel* label, const QString& text) {
    if (label->text() != text)
        label->setText(text);
}

void Inspector::ShowKinds(const Detector* d) {
    bool isPlain = d && !d->contrast && !d->directional;
    plain->setChecked(isPlain);
    directional->setChecked(d && d->directional);
    contrast->setChecked(d && d->contrast);
}

void Inspector::ShowDetector(const Detector* d) {
    if (d) {
        shownNumber = static_cast<int32_t>(d->number);
        shownCard = static_cast<int32_t>(d->card);
        showing = true;
        shownArea = 0;
    } else {
        showing = false;
    }
    bool isPlain = d && !d->contrast && !d->directional;
    bool isDirectional = d && d->directional;
    for (QWidget* w : std::initializer_list<QWidget*>{detectorLabel, kindGroup, number, areaLabel, plain,
                                                      directional, contrast})
        w->setEnabled(d != nullptr);
    for (QWidget* w : std::initializer_list<QWidget*>{delayLabel, delay, extendLabel, extend})
        w->setEnabled(isPlain);
    angleLabel->setEnabled(isDirectional);
    angle->setEnabled(isDirectional);

    SetLabelIfDifferent(cardLetter,
                        d && d->card < 8 ? QString(QChar('A' + static_cast<int>(d->card))) : QString());
    SetTextIfDifferent(number, d ? QString::number(d->number) : QString());
    SetTextIfDifferent(angle, isDirectional ? QString::number(d->angle) : QString());
    if (isPlain) {
        delayEdit->SetValue(d->delay);
        extendEdit->SetValue(d->extend);
    } else if (!d) {
        delayEdit->SetText(QString());
        extendEdit->SetText(QString());
    }
    if (!area->text().isEmpty())
        area->clear();
    ShowKinds(d);
    corners->Show(document.Current(), d ? document.SelectedIndex() : -1);
}

void Inspector::AreaPainted(uint32_t card, uint32_t number, uint32_t count) {
    if (!showing || static_cast<int32_t>(card) != shownCard || static_cast<int32_t>(number) != shownNumber)
        return;
    if (static_cast<int32_t>(count) == shownArea && !area->text().isEmpty())
        return;
    shownArea = static_cast<int32_t>(count);
    SetLabelIfDifferent(area, QString::fromStdString(
                                  FillText(LoadTextA(text::app_inspector_pixels), {std::to_string(count)})));
}

} // namespace korvex
