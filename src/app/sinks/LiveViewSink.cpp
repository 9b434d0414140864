#include "app/sinks/LiveViewSink.h"

#include "app/live/LiveView.h"

#include <QThread>

namespace korvex {

LiveViewSink::LiveViewSink(QObject* parent) : QObject(parent) {}

bool LiveViewSink::OnUiThread() const { return QThread::currentThread() == thread(); }

void LiveViewSink::Attach(LiveView* v) {
    view = v;
    if (view && (width.load() > 0 || height.load() > 0))
        view->ApplyContentSize(width.load(), height.load());
}

void LiveViewSink::Invalidate(bool /*erase*/) {
    // The view paints every cell and its background in full, so erasing and
    // not erasing come to the same repaint.
    if (OnUiThread()) {
        ApplyRepaint();
        return;
    }
    // One queued repaint at a time: pictures arriving faster than the UI
    // thread paints do not pile up events.
    if (repaintPending.exchange(true))
        return;
    posted.fetch_add(1);
    QMetaObject::invokeMethod(this, &LiveViewSink::ApplyRepaint, Qt::QueuedConnection);
}

void LiveViewSink::SetContentSize(int w, int h) {
    width.store(w);
    height.store(h);
    if (OnUiThread()) {
        ApplySize();
        return;
    }
    if (sizePending.exchange(true))
        return;
    posted.fetch_add(1);
    QMetaObject::invokeMethod(this, &LiveViewSink::ApplySize, Qt::QueuedConnection);
}

void LiveViewSink::ApplyRepaint() {
    repaintPending.store(false);
    if (view)
        view->RequestPaint();
}

void LiveViewSink::ApplySize() {
    sizePending.store(false);
    if (view)
        view->ApplyContentSize(width.load(), height.load());
}

} // namespace korvex
