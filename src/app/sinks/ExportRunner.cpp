#include "app/sinks/ExportRunner.h"

#include "app/sinks/UiPost.h"
#include "export/Export.h"
#include "export/ExportThread.h"

#include <QObject>
#include <QPointer>

namespace korvex {

namespace {

class ThreadRunner : public QObject, public ExportRunner, private ExportSink {
public:
    explicit ThreadRunner(ExportDialog& dialog) : dialog(&dialog), thread(job, *this) { thread.Start(); }
    ~ThreadRunner() override { thread.Stop(); }

    bool Start(bool reencode, const std::string& folder, const std::vector<std::string>& files,
               const std::string& outputPath) override {
        if (thread.PendingRequest() != ExportThread::Idle)
            return false;
        // Written only while no job is pending; the worker reads them after
        // it has seen the request.
        job.folder = folder;
        job.files = files;
        output = outputPath;
        return thread.RequestJob(reencode ? ExportThread::Reencode : ExportThread::Copy);
    }
    bool Busy() const override { return thread.PendingRequest() != ExportThread::Idle; }

private:
    template <typename F> void Post(F f) { UiPost(dialog.data(), std::move(f)); }

    // ExportSink, on the "Export" thread.
    bool AskOutputPath(const std::string&, std::string& path) override {
        // Asked on the user-interface thread before the job started.
        if (output.empty())
            return false;
        path = output;
        return true;
    }
    void ShowStatus(const std::string& text) override {
        Post([text](ExportDialog& d) { d.ShowStatus(QString::fromStdString(text)); });
    }
    void ShowProgress(unsigned position) override {
        Post([position](ExportDialog& d) { d.ShowProgress(position); });
    }
    void ShowError(const std::string& text) override {
        Post([text](ExportDialog& d) { d.ShowError(QString::fromStdString(text)); });
    }
    void JobEnded() override {
        Post([](ExportDialog& d) { d.JobEnded(); });
    }

    QPointer<ExportDialog> dialog;
    ExportJob job;
    std::string output;
    ExportThread thread;
};

} // namespace

std::unique_ptr<ExportRunner> MakeExportRunner(ExportDialog& dialog) {
    return std::make_unique<ThreadRunner>(dialog);
}

} // namespace korvex
