#pragma once

#include "app/sinks/UiPost.h"
#include "live/LiveInterfaces.h"
#include "live/LiveViewCore.h"

#include <functional>

namespace korvex {

// The window half of the live view as the live thread sees it. The live
// page attaches its own LiveViewHost (called on the user-interface thread
// only) together with the widget that owns it; calls from the live thread
// are posted there, and dropped while no page is attached.
class LiveViewForwarder : public SinkForwarder<QObject>, public LiveViewHost {
public:
    void AttachHost(QObject* owner, LiveViewHost* uiHost) {
        host = uiHost;
        Attach(owner);
    }
    void DetachHost(QObject* owner) {
        Detach(owner);
        if (!Attached())
            host = nullptr;
    }

    void Invalidate(bool erase) override {
        Forward([this, erase](QObject&) {
            if (host)
                host->Invalidate(erase);
        });
    }
    void SetContentSize(int width, int height) override {
        Forward([this, width, height](QObject&) {
            if (host)
                host->SetContentSize(width, height);
        });
    }

private:
    LiveViewHost* host = nullptr; // user-interface thread only
};

// The tuning selection the live thread reads, with the traces it delivers
// posted to the tuning window attached at that moment.
class TuningForwarder : public SinkForwarder<QObject>, public TuningSelection {
public:
    using TraceView = std::function<void(const TuningTrace&)>;

    void AttachView(QObject* owner, TraceView show) {
        view = std::move(show);
        Attach(owner);
    }
    void DetachView(QObject* owner) {
        Detach(owner);
        if (!Attached())
            view = nullptr;
    }

    void SetTrace(const TuningTrace& values) override {
        Forward([this, values](QObject&) {
            if (view)
                view(values);
        });
    }

private:
    TraceView view; // user-interface thread only
};

} // namespace korvex
