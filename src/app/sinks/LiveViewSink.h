#pragma once

#include "live/LiveViewCore.h"

#include <QObject>
#include <QPointer>

#include <atomic>

namespace korvex {

class LiveView;

// The live view core's window half as the live thread reaches it: repaint
// and size requests from the worker are coalesced and posted to the UI
// thread, where they go to the attached LiveView (if any). Requests made on
// the UI thread itself are applied at once. The worker never holds the
// widget: a view attaches and detaches here.
class LiveViewSink : public QObject, public LiveViewHost {
    Q_OBJECT
public:
    explicit LiveViewSink(QObject* parent = nullptr);

    // UI thread.
    void Attach(LiveView* view);
    void Detach() { Attach(nullptr); }

    // LiveViewHost (any thread).
    void Invalidate(bool erase) override;
    void SetContentSize(int width, int height) override;

    // Requests posted from other threads so far (diagnostics and tests).
    unsigned Posted() const { return posted.load(); }

private:
    bool OnUiThread() const;
    void ApplyRepaint();
    void ApplySize();

    QPointer<LiveView> view;
    std::atomic<bool> repaintPending{false};
    std::atomic<bool> sizePending{false};
    std::atomic<int> width{0};
    std::atomic<int> height{0};
    std::atomic<unsigned> posted{0};
};

} // namespace korvex
