#include "app/widgets/ScrollView.h"

#include "framework/Trace.h"

#include <QScrollBar>
#include <algorithm>

namespace korvex {

namespace {

constexpr int kLineStep = 20;
constexpr int kPageStep = 120;

// A page request moves the bar by a fixed 120 pixels. The bar's own page step
// stays the viewport's size, since it also sizes the thumb; the move it has
// just made is replaced before the value is applied.
void UseFixedPageStep(QScrollBar* bar) {
    QObject::connect(bar, &QAbstractSlider::actionTriggered, bar, [bar](int action) {
        int step = 0;
        if (action == QAbstractSlider::SliderPageStepAdd)
            step = kPageStep;
        else if (action == QAbstractSlider::SliderPageStepSub)
            step = -kPageStep;
        else
            return;
        bar->setSliderPosition(std::clamp(bar->value() + step, bar->minimum(), bar->maximum()));
    });
}

} // namespace

ScrollView::ScrollView(QWidget* parent) : QScrollArea(parent) {
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setFrameShape(QFrame::NoFrame);
    setBackgroundRole(QPalette::Base);
    horizontalScrollBar()->setSingleStep(kLineStep);
    verticalScrollBar()->setSingleStep(kLineStep);
    UseFixedPageStep(horizontalScrollBar());
    UseFixedPageStep(verticalScrollBar());
}

int ScrollView::X() const {
    return horizontalScrollBar()->value();
}
int ScrollView::Y() const {
    return verticalScrollBar()->value();
}

void ScrollView::Update() {
    QWidget* child = widget();
    if (!child)
        return;
    // Showing or hiding one bar changes the other direction's client size,
    // so the fit runs twice, as the bars settle.
    for (int pass = 0; pass < 2; ++pass) {
        QSize view = viewport()->size();
        int hMax = std::max(0, child->width() - view.width());
        int vMax = std::max(0, child->height() - view.height());
        horizontalScrollBar()->setRange(0, hMax);
        horizontalScrollBar()->setPageStep(view.width());
        verticalScrollBar()->setRange(0, vMax);
        verticalScrollBar()->setPageStep(view.height());
        Trace("%s: HORZ(nMax=%d nPage=%d) VERT(nMax=%d nPage=%d)\n", "ScrollView::Update", child->width() - 1,
              view.width(), child->height() - 1, view.height());
    }
    horizontalScrollBar()->setSingleStep(kLineStep);
    verticalScrollBar()->setSingleStep(kLineStep);
    child->move(-X(), -Y());
    Trace("%s: %d %d\n", "ScrollView::ScrollWindow", X(), Y());
}

void ScrollView::scrollContentsBy(int dx, int dy) {
    QScrollArea::scrollContentsBy(dx, dy);
    Trace("%s: %d %d\n", "ScrollView::ScrollWindow", X(), Y());
}

void ScrollView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    horizontalScrollBar()->setSingleStep(kLineStep);
    verticalScrollBar()->setSingleStep(kLineStep);
}

} // namespace korvex
