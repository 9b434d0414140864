#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCommandLinkButton;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace korvex {

// The worker behind the export dialog (sinks/ implements it over the
// export thread). Start hands over a job only while none is pending.
class ExportRunner {
public:
    virtual ~ExportRunner() = default;
    virtual bool Start(bool reencode, const std::string& folder, const std::vector<std::string>& files,
                       const std::string& outputPath) = 0;
    virtual bool Busy() const = 0;
};

// The export dialog: the chosen recordings (list 1012), "choose files"
// (1019), "copy frames" (1022) and "re-encode" (1023) with their notes,
// the progress bar (1016) and status (1017). Where the joined file goes is
// asked here, on the user-interface thread, before the job starts. While a
// job runs the controls are disabled and the dialog cannot be closed.
class ExportDialog : public QDialog {
    Q_OBJECT
public:
    enum Control {
        Files = 1012,
        Progress = 1016,
        Status = 1017,
        Choose = 1019,
        Copy = 1022,
        Reencode = 1023
    };

    // `makeRunner` builds the worker for this dialog (it reports back
    // through the four operations below).
    ExportDialog(std::function<std::unique_ptr<ExportRunner>(ExportDialog&)> makeRunner,
                 QWidget* parent = nullptr);
    ~ExportDialog() override;

    QWidget* Control(int id) const;
    const std::string& Folder() const { return folder; }
    const std::vector<std::string>& Names() const { return files; }
    bool Busy() const;

    // File dialogs (tests answer them): chosen input paths; output path.
    std::function<QStringList(QWidget*, const QString& filter)> askInputFiles;
    std::function<QString(QWidget*, const QString& filter, const QString& initialPath)> askOutputFile;
    // The error box of a failed job (owned by the dialog, no caption).
    std::function<void(QWidget*, const QString& text)> showError;

    // Takes full paths as the file dialog gives them.
    void SetFiles(const QStringList& paths);
    void StartJob(bool reencode);

    // From the worker (user-interface thread).
    void ShowStatus(const QString& text);
    void ShowProgress(unsigned position);
    void ShowError(const QString& text);
    void JobEnded();

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void UpdateNotes();
    void SetControlsEnabled(bool enabled);

    std::unique_ptr<ExportRunner> runner;
    std::string folder;
    std::vector<std::string> files;
    QListWidget* list;
    QProgressBar* progress;
    QLabel* status;
    QPushButton* choose;
    QCommandLinkButton* copy;
    QCommandLinkButton* reencode;
};

} // namespace korvex
