#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvex {

// What the export dialog (or the command line) lets the job report and ask.
// The export calls these on its own thread (the "Export" worker); a GUI
// forwards them to its widgets on the user-interface thread. AskOutputPath
// waits for the answer, which is safe because the dialog never waits for
// the worker while a job is pending (closing is refused until it ends).
class ExportSink {
public:
    virtual ~ExportSink() = default;

    // Asks where to write the joined file, offering `suggestedName`.
    // Returns false when the user cancels; the job then ends quietly.
    virtual bool AskOutputPath(const std::string& suggestedName, std::string& path) = 0;

    // The status line: text::export_exporting while exporting, text::export_finished when a job has ended.
    virtual void ShowStatus(const std::string& text) = 0;

    // The progress bar position, 0 to 100.
    virtual void ShowProgress(unsigned position) = 0;

    // Input file `index` of `count` (from 0) is about to be read.
    virtual void ShowFile(size_t index, size_t count, const std::string& path) {
        (void)index, (void)count, (void)path;
    }

    // A job ended with an error; `text` is what the error box shows.
    virtual void ShowError(const std::string& text) = 0;

    // A job ended, whatever its outcome: the controls can be used again.
    virtual void JobEnded() = 0;
};

// The files chosen for an export and where the result went.
struct ExportJob {
    std::string folder;             // folder of the chosen files, no trailing separator
    std::vector<std::string> files; // names in the order they were chosen
    std::string outputPath;

    // The path opened for file `i`: `folder` joined with the name; names
    // that are absolute, or an empty folder, leave the name as it is.
    std::string InputPath(size_t i) const;

    // Fills `folder` and `files` from full paths as a file dialog returns
    // them: the folder of the first path, then each path's name (paths in
    // another folder are kept whole).
    void ChooseFiles(const std::vector<std::string>& paths);
};

struct ExportOptions {
    bool reencode = false;
    // Threads that re-encode frames: 0 = one per core, 1 = all on the
    // calling thread. The output bytes do not depend on it.
    unsigned threads = 0;
    // Polled between frames; returning true abandons the job.
    std::function<bool()> cancelled;
};

enum class ExportOutcome { NothingToDo, OutputDeclined, Cancelled, Written };

struct ExportResult {
    ExportOutcome outcome = ExportOutcome::NothingToDo;
    uint32_t frames = 0;
};

// Joins the job's files into one AVI file (the copy job keeps the frames'
// bytes, the re-encode job decodes and encodes every frame again). Reads one
// input file at a time, as it goes: memory stays a small multiple of the
// largest frame plus the output's index, whatever the inputs' sizes. The output appears only when the export
// succeeds: until then it is a temporary file beside the chosen path, and an
// error or a cancellation removes it. Errors about an input file are raised
// as text::io_read_failed, the input path, "'.\n" and the error's own text.
ExportResult Export(ExportJob& job, ExportSink& sink, const ExportOptions& options);

} // namespace korvex
