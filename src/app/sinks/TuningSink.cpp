#include "app/sinks/TuningSink.h"

namespace korvex {

TuningSink::TuningSink(QObject* parent) : QObject(parent) {}

void TuningSink::SetTrace(const TuningTrace& values) {
    mailbox.Put(values);
    if (posted.exchange(true))
        return;  // the UI thread has not taken the previous one yet
    QMetaObject::invokeMethod(this, &TuningSink::Announce, Qt::QueuedConnection);
}

void TuningSink::Announce() {
    posted.store(false);
    emit TraceReady();
}

} // namespace korvex
