#pragma once

#include "app/sinks/UiPost.h"
#include "live/LiveInterfaces.h"
#include "live/LiveViewCore.h"
#include "live/TuningPlot.h"

#include <QThread>
#include <atomic>
#include <cstdint>
#include <functional>

namespace korvex {

// The window half of the live view as the live thread sees it. The live
// page attaches its own LiveViewHost (called on the user-interface thread
// only) together with the widget that owns it; calls from the live thread
// are posted there, and dropped while no page is attached. Requests are
// coalesced: while one repaint (or one size change) is on its way, further
// ones add nothing, so a device sending faster than the window paints does
// not pile up events. Calls made on the user-interface thread go straight
// through.
class LiveViewForwarder : public SinkForwarder<QObject>, public LiveViewHost {
public:
    void AttachHost(QObject* owner, LiveViewHost* uiHost) {
        host = uiHost;
        Attach(owner);
        if (Host() && sizeKnown.load())
            host->SetContentSize(Width(), Height());
    }
    void DetachHost(QObject* owner) {
        Detach(owner);
        if (!Attached())
            host = nullptr;
    }

    void Invalidate(bool erase) override {
        if (OnUiThread()) {
            if (LiveViewHost* h = Host())
                h->Invalidate(erase);
            return;
        }
        if (repaintPosted.exchange(true))
            return;
        posted.fetch_add(1);
        UiPost(this, [erase](LiveViewForwarder& self) {
            self.repaintPosted.store(false);
            if (LiveViewHost* h = self.Host())
                h->Invalidate(erase);
        });
    }
    void SetContentSize(int width, int height) override {
        size.store(uint64_t(uint32_t(width)) << 32 | uint32_t(height));
        sizeKnown.store(true);
        if (OnUiThread()) {
            if (LiveViewHost* h = Host())
                h->SetContentSize(width, height);
            return;
        }
        if (sizePosted.exchange(true))
            return;
        posted.fetch_add(1);
        UiPost(this, [](LiveViewForwarder& self) {
            self.sizePosted.store(false);
            if (LiveViewHost* h = self.Host())
                h->SetContentSize(self.Width(), self.Height());
        });
    }

    // Calls posted from other threads so far (tests and diagnostics).
    unsigned Posted() const { return posted.load(); }

private:
    bool OnUiThread() const { return QThread::currentThread() == thread(); }
    // The attached page's host, none once the page has gone.
    LiveViewHost* Host() const { return Attached() ? host : nullptr; }
    int Width() const { return int(uint32_t(size.load() >> 32)); }
    int Height() const { return int(uint32_t(size.load())); }

    LiveViewHost* host = nullptr; // user-interface thread only
    std::atomic<bool> repaintPosted{false};
    std::atomic<bool> sizePosted{false};
    std::atomic<bool> sizeKnown{false};
    std::atomic<uint64_t> size{0}; // width << 32 | height, read together
    std::atomic<unsigned> posted{0};
};

// The tuning selection the live thread reads, with the traces it delivers
// handed to the tuning window attached at that moment: whole, through a
// mailbox, the newest one winning when several arrive before the window
// takes them.
class TuningForwarder : public SinkForwarder<QObject>, public TuningSelection {
public:
    using TraceView = std::function<void(const TuningCurve&)>;

    void AttachView(QObject* owner, TraceView show) {
        view = std::move(show);
        Attach(owner);
    }

    void SetTrace(const TuningTrace& values) override {
        mailbox.Put(values);
        if (tracePosted.exchange(true))
            return;
        UiPost(this, [](TuningForwarder& self) {
            self.tracePosted.store(false);
            if (!self.Attached() || !self.view)
                return; // the trace waits in the mailbox
            if (auto curve = self.mailbox.Take())
                self.view(*curve);
        });
    }

private:
    TraceView view; // user-interface thread only
    TraceMailbox mailbox;
    std::atomic<bool> tracePosted{false};
};

} // namespace korvex
