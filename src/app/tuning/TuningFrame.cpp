#include "app/tuning/TuningFrame.h"

#include "app/common/UiText.h"
#include "framework/AtomicFile.h"
#include "framework/TextIds.h"
#include "live/LiveInterfaces.h"
#include "model/Detector.h"
#include "model/DetectorEdits.h"
#include "model/DetectorNames.h"
#include "model/Document.h"

#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <limits>

namespace korvex {

namespace {

bool AskYesNo(QWidget* owner, const QString& text, const QString& caption) {
    return QMessageBox::question(owner, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

QString ChooseCsv(QWidget* owner) {
    return QFileDialog::getSaveFileName(owner, Text(text::live_save_trace_title), QString(),
                                        Text(text::live_csv_filter) + QStringLiteral(" (*.csv)"));
}

// Rewrites a control's text only when it differs, so that the caret and
// any selection of an unchanged field stay put.
void SetTextIfDifferent(QLineEdit* edit, const QString& text) {
    if (edit->text() != text)
        edit->setText(text);
}

} // namespace

TuningFrame::TuningFrame(Document& document, QWidget* parent)
    : QWidget(parent), document(document), asker(AskYesNo), chooser(ChooseCsv) {
    setObjectName(QStringLiteral("tuningFrame"));
    setWindowTitle(Text(text::tuning_title));
    // The controls' positions are those of an 8-point dialog font.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,15}")), this);
    auto makeEdit = [&](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setAlignment(Qt::AlignRight);
        e->setValidator(digits);
        e->setMaxLength(15);
        return e;
    };
    featureLabel = new QLabel(Text(text::tuning_feature_threshold_label), this);
    featureEdit = makeEdit("featureEdit");
    featureReadout = new QLabel(this);
    featureReadout->setObjectName(QStringLiteral("featureReadout"));
    requestButton = new QPushButton(Text(text::tuning_request_trace), this);
    requestButton->setObjectName(QStringLiteral("requestButton"));
    thresholdLabel = new QLabel(Text(text::tuning_threshold_label), this);
    thresholdEdit = makeEdit("thresholdEdit");
    thresholdReadout = new QLabel(this);
    thresholdReadout->setObjectName(QStringLiteral("thresholdReadout"));
    saveButton = new QPushButton(Text(text::live_save_trace), this);
    saveButton->setObjectName(QStringLiteral("saveTraceButton"));
    saveButton->setEnabled(false);
    view = new TuningView(this);
    detectorLine = new QLabel(this);
    detectorLine->setObjectName(QStringLiteral("detectorLine"));
    QFont bold = small;
    bold.setBold(true);
    detectorLine->setFont(bold);
    yAxis = new QLabel(Text(text::onsite_tuning_y_axis), this);
    xAxis = new QLabel(Text(text::onsite_tuning_x_axis), this);
    xAxis->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    pointerLine = new QLabel(this);
    pointerLine->setObjectName(QStringLiteral("pointerLine"));
    featureReadout->setToolTip(Text(text::tuning_feature_threshold_label));
    thresholdReadout->setToolTip(Text(text::tuning_threshold_label));

    PlaceControls();

    // Only what the user types counts as an edit; the window's own updates
    // of the fields do not.
    connect(featureEdit, &QLineEdit::textEdited, this,
            [this](const QString& t) { EditThresholds(LeadingNumber(t), -1); });
    connect(thresholdEdit, &QLineEdit::textEdited, this,
            [this](const QString& t) { EditThresholds(-1, LeadingNumber(t)); });
    connect(requestButton, &QPushButton::clicked, this, [this] {
        if (selection)
            selection->RequestOnce();
    });
    connect(saveButton, &QPushButton::clicked, this, &TuningFrame::OnSave);
    connect(view, &TuningView::PointerRead, this, [this](unsigned f, unsigned t) {
        featureReadout->setText(QString::number(f));
        thresholdReadout->setText(QString::number(t));
        pointerLine->setText(QString::fromStdString(FillText(Text(text::onsite_tuning_readout).toStdString(),
                                                             {std::to_string(f), std::to_string(t)})));
    });
    connect(view, &TuningView::Clicked, this, &TuningFrame::OnClicked);
    ShowDetector(nullptr);
    documentChanges = this->document.Subscribe([this](uint32_t what) {
        if (what & DocumentChange::Selection)
            ShowDetector(this->document.SelectedDetector());
    });
}

// The controls at their places in an 8-point dialog font.
void TuningFrame::PlaceControls() {
    featureLabel->setGeometry(Scaled(9), Scaled(6), Scaled(140), Scaled(20));
    featureEdit->setGeometry(Scaled(149), Scaled(6), Scaled(36), Scaled(20));
    featureReadout->setGeometry(Scaled(189), Scaled(6), Scaled(42), Scaled(20));
    requestButton->setGeometry(Scaled(239), Scaled(6), Scaled(80), Scaled(20));
    thresholdLabel->setGeometry(Scaled(9), Scaled(32), Scaled(140), Scaled(20));
    thresholdEdit->setGeometry(Scaled(149), Scaled(32), Scaled(36), Scaled(20));
    thresholdReadout->setGeometry(Scaled(189), Scaled(32), Scaled(42), Scaled(20));
    saveButton->setGeometry(Scaled(239), Scaled(32), Scaled(80), Scaled(20));
    detectorLine->setGeometry(Scaled(9), Scaled(58), Scaled(320), Scaled(18));
    yAxis->setGeometry(Scaled(9), Scaled(76), Scaled(320), Scaled(16));
    view->move(2, Scaled(94));
    resize(Scaled(kWidth), Scaled(kHeight));
}

int TuningFrame::Scaled(int v) const {
    const int dpi = logicalDpiY();
    return dpi > 96 ? v * dpi / 96 : v;
}

void TuningFrame::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QPoint at = view->pos();
    // Below the plot: its x axis, then the values under the pointer.
    const int line = Scaled(16);
    // A squeezed pane keeps a strip of plot to point at.
    view->resize(std::max(0, width() - 4), std::max(Scaled(40), height() - at.y() - 2 - 2 * line));
    xAxis->setGeometry(2, at.y() + view->height(), std::max(0, width() - 4), line);
    pointerLine->setGeometry(Scaled(9), at.y() + view->height() + line, std::max(0, width() - Scaled(9)),
                             line);
}

void TuningFrame::SetSelection(TuningSelection* s) {
    selection = s;
    if (selection)
        selection->Select(camera, detector);
}

void TuningFrame::ShowDetector(const Detector* d) {
    const bool enable = d != nullptr && !d->contrast;
    for (QWidget* w : std::initializer_list<QWidget*>{featureLabel, featureEdit, requestButton,
                                                      thresholdLabel, thresholdEdit})
        w->setEnabled(enable);
    SetTextIfDifferent(featureEdit, d ? QString::number(d->feature_threshold) : QString());
    SetTextIfDifferent(thresholdEdit, d ? QString::number(d->threshold) : QString());
    if (d) {
        camera = int(d->card);
        detector = int(d->number) - 1;
        shownFeature = int(d->feature_threshold);
        shownThreshold = int(d->threshold);
    } else {
        camera = detector = shownFeature = shownThreshold = -1;
    }
    if (selection)
        selection->Select(camera, detector);
    view->SetCrossHair(shownFeature, shownThreshold);
    ForgetLostTrace();
    NameDetector();
}

void TuningFrame::NameDetector() {
    QString line =
        camera < 0
            ? Text(text::onsite_tuning_none)
            : QString::fromStdString(FillText(Text(text::onsite_tuning_detector).toStdString(),
                                              {CardName(uint32_t(camera)) + std::to_string(detector + 1)}));
    if (view->Curve().Total() != 0 && (traceCamera != camera || traceNumber != detector + 1) &&
        traceCamera >= 0)
        line +=
            QStringLiteral(" · ") +
            QString::fromStdString(FillText(Text(text::onsite_tuning_trace_of).toStdString(),
                                            {CardName(uint32_t(traceCamera)) + std::to_string(traceNumber)}));
    if (detectorLine->text() != line)
        detectorLine->setText(line);
}

void TuningFrame::ForgetLostTrace() {
    if (view->Curve().Total() == 0)
        return;
    for (const Detector& d : document.Current().detectors)
        if (int(d.card) == traceCamera && int(d.number) == traceNumber)
            return;
    // A new project, a deleted or renumbered detector: its trace goes with it.
    view->SetCurve(TuningCurve{});
    saveButton->setEnabled(false);
    traceCamera = traceNumber = -1;
    pointerLine->clear();
}

void TuningFrame::SetCurve(const TuningCurve& curve) {
    // The trace belongs to the selection it arrived for; it stays when
    // another detector is selected, and so do its camera and number.
    traceCamera = camera;
    traceNumber = detector == -1 ? -1 : detector + 1;
    view->SetCurve(curve);
    saveButton->setEnabled(curve.Total() != 0);
    NameDetector();
}

void TuningFrame::OnClicked(unsigned feature, unsigned threshold) {
    const Detector* selected = document.SelectedDetector();
    if (!selected)
        return;
    const std::string question =
        FillText(Text(text::onsite_tuning_question).toStdString(),
                 {DetectorName(*selected), std::to_string(feature), std::to_string(threshold),
                  std::to_string(selected->feature_threshold), std::to_string(selected->threshold)});
    if (!asker(view, QString::fromStdString(question), Text(text::tuning_title)))
        return;
    EditThresholds(feature, threshold);
}

void TuningFrame::EditThresholds(int64_t feature, int64_t threshold) {
    const Detector* selected = document.SelectedDetector();
    if (!selected)
        return;
    // One request for both values: an unchanged pair makes no state.
    SetThresholds(document, feature < 0 ? selected->feature_threshold : uint32_t(feature),
                  threshold < 0 ? selected->threshold : uint32_t(threshold));
}

uint32_t TuningFrame::LeadingNumber(const QString& text) {
    uint64_t value = 0;
    const int n = std::min<int>(int(text.size()), 15);
    for (int i = 0; i < n && text[i].isDigit() && text[i].unicode() < 128; ++i) {
        value = value * 10 + uint64_t(text[i].unicode() - '0');
        if (value > std::numeric_limits<uint32_t>::max())
            return std::numeric_limits<uint32_t>::max();
    }
    return uint32_t(value);
}

bool TuningFrame::SaveTrace(const QString& path) {
    const std::string csv = tuning::TraceCsv(view->Curve(), traceCamera, traceNumber);
    try {
        AtomicFile::WriteAll(QFile::encodeName(path).toStdString(), csv.data(), csv.size());
        return true;
    } catch (const std::exception& e) {
        QMessageBox::critical(
            this, QString(),
            QString::fromStdString(
                FillText(Text(text::live_save_trace_failed).toStdString(), {path.toStdString()}) + "\n\n" +
                e.what()));
        return false;
    }
}

void TuningFrame::OnSave() {
    if (view->Curve().Total() == 0)
        return;
    QString path = chooser(this);
    if (!path.isEmpty())
        SaveTrace(path);
}

} // namespace korvex
