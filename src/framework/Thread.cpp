#include "framework/Thread.h"

#include "framework/LocalException.h"
#include "framework/TextIds.h"
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
        RaiseError(text::fatal_worker_thread);
    }
    started = true;
}

int Thread::ThreadProc(Thread* self) {
    TraceLine("Thread::ThreadProc: Starting thread " + self->name + "\n");
    // An exception leaving a thread body would end the whole program (and
    // lose the user's unsaved project); the body is over either way, so
    // note it and end this thread normally.
    try {
        self->Run();
    } catch (const std::exception& e) {
        Trace("Thread::ThreadProc: %s ended by an error: %s\n", self->name.c_str(), e.what());
    } catch (...) {
        Trace("Thread::ThreadProc: %s ended by an unknown error\n", self->name.c_str());
    }
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
