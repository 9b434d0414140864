#pragma once

#include "app/widgets/SecondsEdit.h"
#include "framework/ChangeChannel.h"
#include "model/Detector.h"

#include <QWidget>
#include <cstdint>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace korvex {

class CornerFields;
class Document;
class Prompter;

// The detector inspector: the selected detector's identity and parameters,
// edited through the document's detector edits (one undo step per accepted
// change). Controls carry their numbers as object names ("c1004").
class Inspector : public QWidget {
    Q_OBJECT
public:
    enum Control : int {
        CardLetter = 1003,
        Number = 1004,
        Contrast = 1005,
        Directional = 1032,
        Angle = 1033,
        Plain = 1034,
        Delay = 1035,
        Extend = 1036,
        DetectorLabel = 1037,
        KindGroup = 1038,
        DelayLabel = 1039,
        ExtendLabel = 1040,
        AngleLabel = 1041,
        Area = 1094,
        AreaLabel = 1095,
    };

    Inspector(Document& document, Prompter& prompter, QWidget* parent = nullptr);
    ~Inspector() override;

    // Shows a detector (or none); called for every selection change. Texts
    // equal to what a control shows are not rewritten.
    void ShowDetector(const Detector* detector);
    // The painted pixel count of a detector; shown when it is the one on
    // display and the count changed.
    void AreaPainted(uint32_t card, uint32_t number, uint32_t count);

    QWidget* Control(int id) const;
    bool Showing() const { return showing; }
    CornerFields& Corners() const { return *corners; }

protected:
    // Escape in a field puts the detector's value back.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Parts of the constructor: the fields, their layout, what each does.
    void BuildFields();
    void LayOut();
    void ConnectFields();
    void Restore();
    void SetTextIfDifferent(QLineEdit* edit, const QString& text);
    void SetLabelIfDifferent(QLabel* label, const QString& text);
    void ShowKinds(const Detector* detector);

    Document& document;
    // Shows the selected detector whenever the selection or the state
    // under it changes (every edit announces a selection change too).
    ChangeChannel::Subscription documentChanges;
    QLabel* cardLetter;
    QLineEdit* number;
    QLabel* area;
    QCheckBox* plain;
    QCheckBox* directional;
    QCheckBox* contrast;
    QLineEdit* angle;
    QLineEdit* delay;
    QLineEdit* extend;
    QLabel* detectorLabel;
    QGroupBox* kindGroup;
    QLabel* delayLabel;
    QLabel* extendLabel;
    QLabel* angleLabel;
    QLabel* areaLabel;
    CornerFields* corners;
    std::unique_ptr<SecondsEdit> delayEdit;
    std::unique_ptr<SecondsEdit> extendEdit;
    int32_t shownNumber = 0;
    int32_t shownCard = 0;
    bool showing = false;
    int32_t shownArea = 0;
};

} // namespace korvex
