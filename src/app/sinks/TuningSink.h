#pragma once

#include "live/LiveInterfaces.h"
#include "live/TuningPlot.h"

#include <QObject>

#include <atomic>
#include <optional>

namespace korvex {

// The tuning window as the live thread sees it: the selection with its
// one-shot flag (atomics), and traces handed over whole through a mailbox.
// A trace from the live thread posts one TraceReady to the UI thread, where
// the window takes the newest one.
class TuningSink : public QObject, public TuningSelection {
    Q_OBJECT
public:
    explicit TuningSink(QObject* parent = nullptr);

    // Live thread.
    void SetTrace(const TuningTrace& values) override;

    // UI thread: the newest trace since the last Take.
    std::optional<TuningCurve> Take() { return mailbox.Take(); }

signals:
    void TraceReady();

private:
    void Announce();

    TraceMailbox mailbox;
    std::atomic<bool> posted{false};
};

} // namespace korvex
