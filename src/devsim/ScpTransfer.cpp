// The device's end of the SCP protocol as OpenSSH's scp (and libssh2)
// speak it: "scp -f PATH" sends a file, "scp -t PATH" receives one. Every
// control line is answered with one byte: 0 = fine, 1 + text + "\n" = error.

#include "devsim/DeviceCommands.h"
#include "devsim/DeviceFiles.h"
#include "framework/AtomicFile.h"
#include "framework/BinaryFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace korvex::devsim {

namespace {

constexpr size_t kMaxLine = 4096;
// Largest file the device takes (its flash is small; also keeps a bogus
// size from making the device wait for data that never comes).
constexpr unsigned long long kMaxFileSize = 1ull << 30;

struct ScpArgs {
    bool source = false;
    bool sink = false;
    bool times = false;
    bool directory = false; // -d: the target must be a folder
    std::string path;
    std::string error;
};

ScpArgs ParseArgs(const std::vector<std::string>& args) {
    ScpArgs a;
    std::vector<std::string> paths;
    for (const auto& word : args) {
        if (word.size() > 1 && word[0] == '-') {
            for (size_t i = 1; i < word.size(); ++i) {
                switch (word[i]) {
                case 'f':
                    a.source = true;
                    break;
                case 't':
                    a.sink = true;
                    break;
                case 'p':
                    a.times = true;
                    break;
                case 'd':
                    a.directory = true;
                    break;
                case 'v':
                case 'q':
                case 'O':
                    break;
                case 'r':
                    a.error = "recursive copies are not supported";
                    break;
                default:
                    a.error = std::string("unknown option -") + word[i];
                    break;
                }
            }
        } else {
            paths.push_back(word);
        }
    }
    if (a.error.empty() && a.source == a.sink)
        a.error = "exactly one of -f and -t is needed";
    if (a.error.empty() && paths.size() != 1)
        a.error = "exactly one path is needed";
    if (a.error.empty())
        a.path = paths[0];
    return a;
}

// Takes one line (without its "\n") from the input; nullopt while none is
// complete. Sets `tooLong` when the input holds more than kMaxLine bytes
// without a line end.
std::optional<std::string> TakeLine(std::string& input, bool& tooLong) {
    size_t nl = input.find('\n');
    if (nl == std::string::npos) {
        tooLong = input.size() > kMaxLine;
        return std::nullopt;
    }
    std::string line = input.substr(0, nl);
    input.erase(0, nl + 1);
    return line;
}

std::string ErrorLine(const std::string& text) {
    return "\x01scp: " + text + "\n";
}

// "scp -f PATH": the device sends one file.
class SourceHandler : public ExecHandler {
public:
    SourceHandler(DeviceSimulator::State& state, ScpArgs args) : state(state), args(std::move(args)) {
        record.direction = TransferRecord::Direction::FromDevice;
        record.devicePath = this->args.path;
        record.withTimes = this->args.times;
        index = state.AddTransfer(record);
    }

    void Step(ExecContext& c) override {
        c.logOutput = false;
        while (!c.done) {
            if (phase == Phase::Finished) {
                // Sent everything; OpenSSH acknowledges the final zero,
                // libssh2 simply closes. Either way the copy is complete.
                if (!c.input.empty() || c.inputEof) {
                    Finish(c, 0, "");
                }
                return;
            }
            // Every other phase waits for the client's one-byte answer.
            if (c.input.empty()) {
                if (c.inputEof)
                    Finish(c, 1, "the client closed the channel before the copy ended");
                return;
            }
            char answer = c.input[0];
            if (answer == 1 || answer == 2) {
                bool tooLong = false;
                auto line = TakeLine(c.input, tooLong);
                if (!line) {
                    if (c.inputEof || tooLong)
                        Finish(c, 1, "the client reported an error");
                    return;
                }
                Finish(c, 1, "the client reported: " + line->substr(1));
                return;
            }
            c.input.erase(0, 1);
            if (answer != 0) {
                Finish(c, 1, "unexpected answer byte from the client");
                return;
            }
            Advance(c);
        }
    }

private:
    enum class Phase { Start, TimesSent, HeaderSent, Finished };

    void Advance(ExecContext& c) {
        if (phase == Phase::Start) {
            std::string host = MapDevicePath(state.options.rootDir, args.path);
            std::error_code ec;
            if (host.empty() || !fs::exists(host, ec)) {
                Refuse(c, args.path + ": No such file or directory");
                return;
            }
            if (!fs::is_regular_file(host, ec)) {
                Refuse(c, args.path + ": not a regular file");
                return;
            }
            struct stat st {};
            if (!ReadFile(host, content) || ::stat(host.c_str(), &st) != 0) {
                Refuse(c, args.path + ": Permission denied");
                return;
            }
            mode = st.st_mode & 07777;
            record.size = content.size();
            record.mode = mode;
            state.UpdateTransfer(index, record);
            if (args.times) {
                char line[96];
                std::snprintf(line, sizeof line, "T%lld 0 %lld 0\n", (long long)st.st_mtime,
                              (long long)st.st_atime);
                c.output += line;
                phase = Phase::TimesSent;
                return;
            }
            SendHeader(c);
        } else if (phase == Phase::TimesSent) {
            SendHeader(c);
        } else if (phase == Phase::HeaderSent) {
            c.output += content;
            c.output.push_back('\0');
            content.clear();
            phase = Phase::Finished;
            record.complete = true;
            state.UpdateTransfer(index, record);
        }
    }

    void SendHeader(ExecContext& c) {
        std::string name = fs::path(args.path).filename().string();
        char line[64];
        std::snprintf(line, sizeof line, "C%04o %llu ", unsigned(mode), (unsigned long long)content.size());
        c.output += line + name + "\n";
        phase = Phase::HeaderSent;
    }

    void Refuse(ExecContext& c, const std::string& why) {
        c.output += ErrorLine(why);
        Finish(c, 1, why);
    }

    void Finish(ExecContext& c, int status, const std::string& error) {
        if (!error.empty() && record.error.empty() && !record.complete)
            record.error = error;
        state.UpdateTransfer(index, record);
        c.exitStatus = record.complete ? 0 : status;
        c.done = true;
    }

    DeviceSimulator::State& state;
    ScpArgs args;
    TransferRecord record;
    size_t index = 0;
    Phase phase = Phase::Start;
    std::string content;
    unsigned mode = 0644;
};

// "scp -t PATH": the device receives files.
class SinkHandler : public ExecHandler {
public:
    SinkHandler(DeviceSimulator::State& state, ScpArgs args)
        : state(state), args(std::move(args)), cutAfter(state.CurrentFaults().cutUploadAfter) {}

    void Step(ExecContext& c) override {
        c.logOutput = false;
        if (!started) {
            started = true;
            c.output.push_back('\0');
        }
        while (!c.done) {
            if (fd >= 0) {
                if (!ReceiveData(c))
                    return;
                continue;
            }
            if (c.input.empty()) {
                if (c.inputEof) {
                    c.exitStatus = failures ? 1 : 0;
                    c.done = true;
                }
                return;
            }
            bool tooLong = false;
            auto line = TakeLine(c.input, tooLong);
            if (!line) {
                if (tooLong || c.inputEof) {
                    c.output += ErrorLine("protocol error: control line too long or cut off");
                    c.exitStatus = 1;
                    c.done = true;
                }
                return;
            }
            HandleLine(c, *line);
        }
    }

private:
    void HandleLine(ExecContext& c, const std::string& line) {
        if (line.empty()) {
            Abort(c, "protocol error: empty control line");
            return;
        }
        switch (line[0]) {
        case 'T': {
            long long mtime, mtimeUs, atime, atimeUs;
            char tail;
            if (std::sscanf(line.c_str() + 1, "%lld %lld %lld %lld%c", &mtime, &mtimeUs, &atime, &atimeUs,
                            &tail) != 4) {
                Abort(c, "protocol error: bad time line");
                return;
            }
            times = {atime, mtime};
            c.output.push_back('\0');
            return;
        }
        case 'C':
            StartFile(c, line);
            return;
        case 'D':
        case 'E':
            Abort(c, "folders cannot be copied to this device");
            return;
        case '\x01':
        case '\x02':
            // The client's own error (for example a file it could not read);
            // it goes on with the next file or ends.
            ++failures;
            return;
        default:
            Abort(c, "protocol error: unexpected control line");
        }
    }

    void StartFile(ExecContext& c, const std::string& line) {
        unsigned mode = 0;
        unsigned long long size = 0;
        int consumed = 0;
        if (line.size() < 8 || std::sscanf(line.c_str() + 1, "%4o %llu %n", &mode, &size, &consumed) != 2 ||
            consumed <= 0 || size_t(consumed) + 1 > line.size()) {
            Abort(c, "protocol error: bad file line");
            return;
        }
        std::string name = line.substr(size_t(consumed) + 1);
        // The size must be plain digits that fit (sscanf saturates).
        size_t sizeStart = line.find(' ') + 1, sizeEnd = line.find(' ', sizeStart);
        if (sizeEnd == std::string::npos || sizeEnd - sizeStart > 19 || size > kMaxFileSize) {
            Abort(c, "file too large or size unreadable");
            return;
        }
        TransferRecord r;
        r.direction = TransferRecord::Direction::ToDevice;
        r.size = size;
        r.mode = mode;
        r.withTimes = times.has_value();
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
            r.devicePath = args.path;
            r.error = "bad file name in the file line";
            state.AddTransfer(r);
            Abort(c, "unexpected filename: " + name);
            return;
        }
        std::string target = args.path;
        std::string host = MapDevicePath(state.options.rootDir, target);
        std::error_code ec;
        if (!host.empty() && fs::is_directory(host, ec)) {
            target = (target.back() == '/' ? target : target + "/") + name;
            host = MapDevicePath(state.options.rootDir, target);
        } else if (args.directory) {
            host.clear();
        }
        r.devicePath = target;
        if (host.empty() || !fs::is_directory(fs::path(host).parent_path(), ec)) {
            r.error = "no such folder";
            state.AddTransfer(r);
            Refuse(c, target + ": No such file or directory");
            return;
        }
        if (fs::is_directory(host, ec)) {
            r.error = "target is a folder";
            state.AddTransfer(r);
            Refuse(c, target + ": Is a directory");
            return;
        }
        // As the device's copy program does: the file is opened where it is
        // (created when new) and written as the bytes arrive, so a folder
        // the login may not write in refuses new files only.
        const bool exists = fs::exists(host, ec);
        if (!exists && FolderLocked(target)) {
            r.error = "the folder takes no new files";
            state.AddTransfer(r);
            Refuse(c, target + ": Permission denied");
            return;
        }
        fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            r.error = std::string("open failed: ") + std::strerror(errno);
            state.AddTransfer(r);
            Refuse(c, target + ": " + std::strerror(errno));
            return;
        }
        record = r;
        index = state.AddTransfer(r);
        hostPath = host;
        remaining = size;
        received = 0;
        fileMode = mode & 07777;
        c.output.push_back('\0');
    }

    // True when `target` lies in a folder the options lock: there the
    // device takes no new files, only writes over existing ones.
    bool FolderLocked(const std::string& target) const {
        const std::string folder = fs::path(target).parent_path().string();
        for (const std::string& locked : state.CurrentFaults().lockedFolders)
            if (fs::path(locked).lexically_normal() == fs::path(folder).lexically_normal())
                return true;
        return false;
    }

    // Writes file bytes where they belong, as they arrive.
    void WriteData(const char* data, size_t n) {
        while (n > 0 && fd >= 0 && writeError.empty()) {
            const ssize_t w = ::write(fd, data, n);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                writeError = std::strerror(errno);
                break;
            }
            data += w;
            n -= size_t(w);
        }
    }

    void CloseFile() {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    // Consumes file bytes; true when the file is finished (written or
    // dropped) and control lines follow again, false to wait for input.
    bool ReceiveData(ExecContext& c) {
        if (remaining > 0 && cutAfter > 0 && received + c.input.size() >= cutAfter) {
            Cut(c);
            return false;
        }
        if (remaining > 0) {
            size_t n = size_t(std::min<uint64_t>(remaining, c.input.size()));
            received += n;
            if (n > 0) {
                WriteData(c.input.data(), n);
                c.input.erase(0, n);
                remaining -= n;
            }
            if (remaining > 0) {
                if (c.inputEof) {
                    // Cut off in the middle: what arrived stays written.
                    CloseFile();
                    record.error = "the client closed the channel in the middle of the file";
                    state.UpdateTransfer(index, record);
                    c.exitStatus = 1;
                    c.done = true;
                }
                return false;
            }
        }
        // All bytes are here. OpenSSH sends a zero byte after them;
        // libssh2 does not always, so the end of input counts as well.
        if (c.input.empty() && !c.inputEof)
            return false;
        bool clientError = false;
        if (!c.input.empty()) {
            clientError = c.input[0] != 0;
            if (clientError) {
                bool tooLong = false;
                if (!TakeLine(c.input, tooLong)) {
                    if (!c.inputEof && !tooLong)
                        return false;
                    c.input.clear();
                }
            } else {
                c.input.erase(0, 1);
            }
        }
        CommitFile(c, clientError);
        return true;
    }

    // The link drops after `cutAfter` file bytes: what arrived so far lies
    // over the target's first bytes (the rest of the old file stays), and
    // the copy program dies.
    void Cut(ExecContext& c) {
        const uint64_t take = std::min<uint64_t>(cutAfter - received, c.input.size());
        WriteData(c.input.data(), size_t(take));
        CloseFile();
        record.error = "the link dropped after " + std::to_string(cutAfter) + " bytes";
        state.UpdateTransfer(index, record);
        c.input.clear();
        c.killed = true;
        c.exitStatus = 1;
        c.done = true;
    }

    void CommitFile(ExecContext& c, bool clientError) {
        if (clientError) {
            CloseFile();
            record.error = "the client reported an error after the data";
            state.UpdateTransfer(index, record);
            ++failures;
            return;
        }
        // A file longer than the copy keeps no old tail.
        if (writeError.empty() && fd >= 0 && ::ftruncate(fd, off_t(record.size)) != 0)
            writeError = std::strerror(errno);
        CloseFile();
        if (writeError.empty()) {
            ::chmod(hostPath.c_str(), fileMode);
            if (times) {
                timeval tv[2] = {{time_t(times->first), 0}, {time_t(times->second), 0}};
                ::utimes(hostPath.c_str(), tv);
            }
            record.complete = true;
            state.UpdateTransfer(index, record);
            c.output.push_back('\0');
        } else {
            record.error = "write failed: " + writeError;
            state.UpdateTransfer(index, record);
            c.output += ErrorLine(record.devicePath + ": write failed");
            ++failures;
        }
        times.reset();
        writeError.clear();
    }

    // Answers a file line with an error; the client may go on.
    void Refuse(ExecContext& c, const std::string& why) {
        c.output += ErrorLine(why);
        ++failures;
    }

    // A protocol error ends the command.
    void Abort(ExecContext& c, const std::string& why) {
        c.output += ErrorLine(why);
        c.exitStatus = 1;
        c.done = true;
    }

    DeviceSimulator::State& state;
    ScpArgs args;
    bool started = false;
    unsigned failures = 0;
    std::optional<std::pair<long long, long long>> times; // atime, mtime
    int fd = -1;                                          // the file being received
    TransferRecord record;
    size_t index = 0;
    std::string hostPath;
    uint64_t remaining = 0;
    unsigned fileMode = 0644;
    std::string writeError;
    uint64_t cutAfter = 0; // see FaultOptions::cutUploadAfter
    uint64_t received = 0;

public:
    ~SinkHandler() override { CloseFile(); }
};

class ScpErrorHandler : public ExecHandler {
public:
    explicit ScpErrorHandler(std::string message) : message(std::move(message)) {}
    void Step(ExecContext& c) override {
        c.errorOutput += "scp: " + message + "\n";
        c.exitStatus = 1;
        c.done = true;
    }

private:
    std::string message;
};

} // namespace

std::unique_ptr<ExecHandler> CreateScpHandler(DeviceSimulator::State& state,
                                              const std::vector<std::string>& args) {
    ScpArgs a = ParseArgs(args);
    if (!a.error.empty())
        return std::make_unique<ScpErrorHandler>(a.error);
    if (a.source)
        return std::make_unique<SourceHandler>(state, std::move(a));
    return std::make_unique<SinkHandler>(state, std::move(a));
}

} // namespace korvex::devsim
