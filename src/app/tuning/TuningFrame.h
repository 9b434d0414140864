#pragma once

#include "app/tuning/TuningView.h"
#include "framework/ChangeChannel.h"
#include "live/TuningPlot.h"

#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace korvex {

class Document;
struct Detector;
class TuningSelection;

// The tuning window's content: the feature and detection thresholds of the
// selected detector with the pointer's read-outs, the one-shot request
// button, the plot and a button that keeps the shown trace as CSV. It
// changes the document only through the core's edit requests, each a
// single undo state (a click on the plot sets both thresholds in one).
class TuningFrame : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRequestButton = 1000;
    // Client size at 96 dots per inch.
    static constexpr int kWidth = 340;
    static constexpr int kHeight = 600;

    explicit TuningFrame(Document& document, QWidget* parent = nullptr);

    // The selection the live thread reads (card, number - 1, one-shot).
    void SetSelection(TuningSelection* selection);

    // The selected detector of the current state (nullptr = none), after
    // every selection change.
    void ShowDetector(const Detector* detector);

    // A trace for the shown selection arrived (UI thread).
    void SetCurve(const TuningCurve& curve);

    // Questions and the file chooser, replaceable by tests.
    using Asker = std::function<bool(QWidget* owner, const QString& text, const QString& caption)>;
    using FileChooser = std::function<QString(QWidget* owner)>;
    void SetAsker(Asker a) { asker = std::move(a); }
    void SetFileChooser(FileChooser c) { chooser = std::move(c); }

    int Camera() const { return camera; }
    int DetectorIndex() const { return detector; }
    TuningView& View() { return *view; }
    QLineEdit& FeatureEdit() { return *featureEdit; }
    QLineEdit& ThresholdEdit() { return *thresholdEdit; }
    QLabel& FeatureReadout() { return *featureReadout; }
    QLabel& ThresholdReadout() { return *thresholdReadout; }
    QPushButton& RequestButton() { return *requestButton; }
    QPushButton& SaveButton() { return *saveButton; }
    // "Detector A1" (or that none is chosen), the axes and the pointer line.
    QLabel& DetectorLine() { return *detectorLine; }
    QLabel& PointerLine() { return *pointerLine; }

    // Writes the shown trace as CSV; false (and a message) on failure.
    bool SaveTrace(const QString& path);

    // A leading decimal number of at most 15 characters, 0 when there is
    // none; values beyond 32 bits are held at the largest.
    static uint32_t LeadingNumber(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceControls();
    void OnClicked(unsigned feature, unsigned threshold);
    // Edits the selected detector's thresholds; -1 keeps a value.
    void EditThresholds(int64_t feature, int64_t threshold);
    void OnSave();
    int Scaled(int v) const;
    // Names the shown detector, and the trace's when it is another one.
    void NameDetector();
    // Drops a trace whose detector the project no longer has.
    void ForgetLostTrace();

    QLabel* featureLabel;
    QLineEdit* featureEdit;
    QLabel* featureReadout;
    QPushButton* requestButton;
    QLabel* thresholdLabel;
    QLineEdit* thresholdEdit;
    QLabel* thresholdReadout;
    QPushButton* saveButton;
    TuningView* view;
    QLabel* detectorLine;
    QLabel* yAxis;
    QLabel* xAxis;
    QLabel* pointerLine;

    Document& document;
    // Shows the selected detector whenever the selection or the state
    // under it changes (every edit announces a selection change too).
    ChangeChannel::Subscription documentChanges;
    TuningSelection* selection = nullptr;
    int shownFeature = -1;
    int shownThreshold = -1;
    int camera = -1;
    int detector = -1;
    int traceCamera = -1;
    int traceNumber = -1;
    Asker asker;
    FileChooser chooser;
};

} // namespace korvex
