#pragma once

#include "framework/StopEvent.h"

#include <memory>
#include <string>
#include <thread>

namespace korvex {

// Base of the worker threads ("Connection", "Live", "Scan", "Export").
// The owner calls Start once and Stop once; Run must watch stopEvent and
// return soon after it is set. A thread that blocks in a call the event
// cannot wake (a socket read, say) overrides OnStopRequested to break that
// call off, so that Stop always ends.
class Thread {
public:
    explicit Thread(std::string name);
    virtual ~Thread();

    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Creates the stop event and the thread (errors text::fatal_stop_event and text::fatal_worker_thread).
    void Start();

    // Signals the stop event, wakes blocked calls, waits for Run to return.
    void Stop();

    const std::string& Name() const { return name; }
    bool Started() const { return started; }

protected:
    virtual void Run() = 0;

    // Called by Stop on the owner's thread right after the stop event is set.
    virtual void OnStopRequested() {}

    bool StopRequested() const { return stopEvent.IsSet(); }

    // Sleeps `ms` unless stopped first; true when the stop event is set.
    bool SleepOrStop(unsigned ms) const { return stopEvent.WaitFor(ms); }

    StopEvent stopEvent;

private:
    static int ThreadProc(Thread* self);

    std::string name;
    std::thread handle;
    bool started = false;
};

} // namespace korvex
