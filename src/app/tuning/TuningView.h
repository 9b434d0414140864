#pragma once

#include "live/TuningPlot.h"

#include <QFrame>

namespace korvex {

// The tuning plot: the cumulative curve of the latest trace in green, the
// shown detector's thresholds as a red cross-hair. The pointer's position
// reads as a feature threshold (x, 0 to 1000) and a detection threshold (y,
// 0 at the bottom to the trace's total at the top); a click offers both.
class TuningView : public QFrame {
    Q_OBJECT
public:
    static constexpr QRgb kCurve = 0xFF007F00;     // RGB(0, 127, 0)
    static constexpr QRgb kCrossHair = 0xFFC80000; // RGB(200, 0, 0)

    explicit TuningView(QWidget* parent = nullptr);

    // A new trace (UI thread; the live thread's traces arrive through the
    // tuning sink, whole).
    void SetCurve(const TuningCurve& curve);
    const TuningCurve& Curve() const { return curve; }
    // The thresholds of the shown detector, -1 = none.
    void SetCrossHair(int feature, int threshold);

    // The plot as painted, 250 columns wide and the view's height (tests).
    QImage Plot() const;

Q_SIGNALS:
    // The values under the pointer (only while there is a trace).
    void PointerRead(unsigned feature, unsigned threshold);
    // A click on the plot: the thresholds it stands for.
    void Clicked(unsigned feature, unsigned threshold);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::optional<tuning::Reading> ReadAt(const QPoint& p) const;

    TuningCurve curve;
    int shownFeature = -1;
    int shownThreshold = -1;
};

} // namespace korvex
