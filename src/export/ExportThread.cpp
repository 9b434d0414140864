#include "export/ExportThread.h"

#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"

#include <exception>

namespace korvex {

ExportThread::ExportThread(ExportJob& job, ExportSink& sink) : Thread("Export"), job(job), sink(sink) {}

ExportThread::~ExportThread() = default;

bool ExportThread::RequestJob(Request kind) {
    int idle = Idle;
    return request.compare_exchange_strong(idle, kind, std::memory_order_acq_rel);
}

void ExportThread::Run() {
    while (!SleepOrStop(kPollMs)) {
        int kind = request.load(std::memory_order_acquire);
        if (kind == Copy || kind == Reencode) {
            try {
                ExportOptions options;
                options.reencode = kind == Reencode;
                options.threads = threads.load(std::memory_order_relaxed);
                options.cancelled = [this] { return StopRequested(); };
                Export(job, sink, options);
            } catch (const std::exception& e) {
                Trace("ExportThread::Run: %s\n", e.what());
                sink.ShowError(e.what());
            }
        }
        if (kind != Idle) {
            request.store(Idle, std::memory_order_release);
            sink.ShowStatus(LoadTextA(text::export_finished));
            sink.ShowProgress(0);
            sink.JobEnded();
        }
    }
}

} // namespace korvex
