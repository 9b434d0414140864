#pragma once

#include "export/Export.h"
#include "framework/Thread.h"

#include <atomic>

namespace korvex {

// The "Export" worker: every 400 ms it looks at `request` and runs the job
// asked for, so the dialog keeps painting while frames are joined. The
// dialog (user-interface thread) only ever moves `request` from 0 to a job;
// the worker moves it back to 0 when the job has ended, whatever its
// outcome. Stopping the thread abandons a running job (its output is
// removed) within one frame.
class ExportThread : public Thread {
public:
    enum Request { Idle = 0, Copy = 1, Reencode = 2 };

    static constexpr unsigned kPollMs = 400;

    ExportThread(ExportJob& job, ExportSink& sink);
    ~ExportThread() override;

    // Asks for a job; ignored (returns false) while another one is pending.
    bool RequestJob(Request kind);

    int PendingRequest() const { return request.load(std::memory_order_acquire); }

    // Threads the re-encode job uses (0 = one per core).
    void SetReencodeThreads(unsigned n) { threads.store(n, std::memory_order_relaxed); }

protected:
    void Run() override;

private:
    ExportJob& job;
    ExportSink& sink;
    std::atomic<int> request{Idle};
    std::atomic<unsigned> threads{0};
};

} // namespace korvex
