#include "app/widgets/ScrollView.h"

#include "framework/Trace.h"

#include <QScrollBar>

namespace korvex {

ScrollView::ScrollView(QWidget* parent) : QScrollArea(parent) {
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setFrameShape(QFrame::NoFrame);
    setBackgroundRole(QPalette::Base);
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
}

int ScrollView::X() const { return horizontalScrollBar()->value(); }
int ScrollView::Y() const { return verticalScrollBar()->value(); }

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
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
    child->move(-X(), -Y());
    Trace("%s: %d %d\n", "ScrollView::ScrollWindow", X(), Y());
}

void ScrollView::scrollContentsBy(int dx, int dy) {
    QScrollArea::scrollContentsBy(dx, dy);
    Trace("%s: %d %d\n", "ScrollView::ScrollWindow", X(), Y());
}

void ScrollView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
}

} // namespace korvex
