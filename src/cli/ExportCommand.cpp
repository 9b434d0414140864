// korvex-cli export: joins recorded AVI files into one, copying the frames or
// re-encoding them.
#include "cli/Cli.h"
#include "export/Export.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace korvex::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = 1;
}

void PrintHelp() {
    std::printf("usage: korvex-cli export [--reencode] [--threads N] [--] OUT.avi IN.avi...\n\n"
                "Joins the recordings IN.avi... in the order given into OUT.avi.\n"
                "  --reencode   decode every frame and encode it again (grey becomes colour)\n"
                "  --threads N  threads that re-encode frames (default: one per core)\n"
                "OUT.avi appears only when the export succeeds; an existing file of that\n"
                "name is replaced then and left untouched otherwise.\n");
}

// Progress on stderr: a redrawn bar on a terminal, one line per file
// otherwise.
class CliSink : public ExportSink {
public:
    CliSink(std::string output, bool terminal) : output(std::move(output)), terminal(terminal) {}

    bool AskOutputPath(const std::string&, std::string& path) override {
        path = output;
        return true;
    }

    void ShowStatus(const std::string& text) override { status = text; }

    void ShowProgress(unsigned position) override { progress = position; }

    void ShowFile(size_t index, size_t count, const std::string& path) override {
        if (terminal)
            DrawBar(progress, index + 1, count, path);
        else
            std::fprintf(stderr, "%s %zu/%zu %s\n", status.c_str(), index + 1, count, path.c_str());
    }

    void ShowError(const std::string&) override {}
    void JobEnded() override {}

    void Finish(size_t count) {
        if (terminal && count > 0) {
            DrawBar(100, count, count, "");
            std::fputc('\n', stderr);
        }
    }

    void ClearLine() {
        if (terminal)
            std::fputs("\r\033[K", stderr);
    }

private:
    void DrawBar(unsigned position, size_t number, size_t count, const std::string& path) {
        constexpr unsigned width = 30;
        unsigned filled = position * width / 100;
        std::string bar(filled, '#');
        bar.append(width - filled, '.');
        std::fprintf(stderr, "\r\033[K%s [%s] %3u%% %zu/%zu %s", status.c_str(), bar.c_str(), position,
                     number, count, path.c_str());
        std::fflush(stderr);
    }

    std::string output;
    bool terminal;
    std::string status;
    unsigned progress = 0;
};

int RunExport(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        PrintHelp();
        return ExitOk;
    }
    ExportOptions options;
    std::vector<std::string> paths;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded) {
            paths.push_back(a);
        } else if (a == "--") {
            // Everything after "--" is a file name, even when it starts with '-'.
            optionsEnded = true;
        } else if (a == "--reencode") {
            options.reencode = true;
        } else if (a == "--threads") {
            if (i + 1 >= args.size())
                return UsageError("export: --threads needs a number");
            char* end = nullptr;
            unsigned long n = std::strtoul(args[++i].c_str(), &end, 10);
            if (*end != '\0' || n == 0 || n > 64)
                return UsageError("export: --threads takes a number from 1 to 64");
            options.threads = static_cast<unsigned>(n);
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("export: unknown option '" + a + "'");
        } else {
            paths.push_back(a);
        }
    }
    if (paths.size() < 2)
        return UsageError("export: give the output file and at least one input file (see --help)");

    ExportJob job;
    job.files.assign(paths.begin() + 1, paths.end());
    CliSink sink(paths[0], StderrIsTerminal());

    interrupted = 0;
    auto previousInt = std::signal(SIGINT, OnInterrupt);
    auto previousTerm = std::signal(SIGTERM, OnInterrupt);
    options.cancelled = [] { return interrupted != 0; };
    ExportResult result;
    try {
        result = Export(job, sink, options);
    } catch (...) {
        std::signal(SIGINT, previousInt);
        std::signal(SIGTERM, previousTerm);
        sink.ClearLine();
        throw;
    }
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);

    if (result.outcome == ExportOutcome::Cancelled) {
        sink.ClearLine();
        std::fprintf(stderr, "korvex-cli: export interrupted; %s was not written\n", paths[0].c_str());
        return 130;
    }
    sink.ShowStatus(LoadTextA(text::export_finished));
    sink.Finish(job.files.size());
    std::printf("%s: %u frames\n", job.outputPath.c_str(), result.frames);
    return ExitOk;
}

} // namespace

KORVEX_CLI_COMMAND("export", "join recorded AVI files into one (copy or --reencode)", RunExport);

} // namespace korvex::cli
