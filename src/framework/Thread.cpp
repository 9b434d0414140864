#include "framework/Thread.h"

#include "framework/LocalException.h"
#include "framework/Trace.h"

#include <system_error>

namespace korvex {

Thread::Thread(std::string name) : name(std::move(name)) {}

Thread::~Thread() {
    // The owner stops a thread before destroying it; a thread still running
    // here would use a half-destroyed object, so finish it rather than crash.
    if (handle.joinable()) {
        stopEvent.Set();
        handle.join();
    }
}

void Thread::Start() {
    stopEvent.Reset();
    try {
        handle = std::thread(&Thread::ThreadProc, this);
    } catch (const std::system_error&) {
        RaiseError(263);
    }
    started = true;
}

int Thread::ThreadProc(Thread* self) {
    TraceLine("Thread::ThreadProc: Starting thread " + self->name + "\n");
    self->Run();
    TraceLine("Thread::ThreadProc: Ending thread " + self->name + "\n");
    return 0;
}

void Thread::Stop() {
    TraceLine("Thread::Stop: Stopping thread " + name + "\n");
    stopEvent.Set();
    OnStopRequested();
    if (handle.joinable())
        handle.join();
    TraceLine("Thread::Stop: Stopped thread " + name + "\n");
}

} // namespace korvex
