// The writers' fault matrix: every part of the programs that writes a file,
// run against every kind of target that must not be harmed. A new writer
// joins the table in Writers() in the same change that adds it.
//
// Targets: a regular file (written), a character device (a node with the
// null device's numbers, made here), a FIFO with no reader, a folder, a
// path in a missing folder, a full file system (a small tmpfs when this
// process may mount, else a file size limit of 0 with SIGXFSZ ignored) and
// a read-only place (a read-only tmpfs, else a folder without write
// permission). A refusal must leave the target as it was (a node stays that
// node, the FIFO a FIFO, an old file byte-identical), put nothing beside it
// and name the path; nothing may wait on the FIFO.
#include "devsim/DeviceSimulator.h"
#include "export/AviWriter.h"
#include "files/ProjectFile.h"
#include "framework/AtomicFile.h"
#include "framework/Language.h"
#include "model/Document.h"
#include "support/CommandRun.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <set>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace korvex {
namespace {

namespace fs = std::filesystem;

enum class Target { Regular, Device, Fifo, Folder, MissingFolder, FullDisk, ReadOnly };
const Target kTargets[] = {Target::Regular,       Target::Device,   Target::Fifo,    Target::Folder,
                           Target::MissingFolder, Target::FullDisk, Target::ReadOnly};
const char* Name(Target t) {
    static const char* const names[] = {"regular",   "device",    "fifo",     "folder",
                                        "no folder", "full disk", "read-only"};
    return names[int(t)];
}

struct Outcome {
    bool written = false; // exit 0, or no exception
    bool hung = false;    // still running when its time was up
    std::string message;  // what it printed, or the exception's text
};

// Where a writer is told to write: `base` is the folder it is given (or
// the folder of `target`), `inputs` a folder of things it may read.
struct Paths {
    std::string inputs, base, target;
};

struct Writer {
    const char* name;
    std::function<Outcome(const Paths&)> run;
    bool writesFolder = false;      // the target is a folder of files (the package)
    bool oldIsProject = false;      // it reads the file it writes (compose)
    std::string targetName = "out"; // the target's path below `base`
    bool makesFolders = false;      // a missing `base` is made (with the folders above)
};

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Set for a cell whose full disk is a file size limit.
bool limitFileSize = false;

// Runs a program through the shell, bounded in time (a program waiting on
// a FIFO would otherwise never end). Its messages come through a pipe,
// which a file size limit does not touch.
Outcome RunProgram(const std::string& command) {
    std::string line;
    if (limitFileSize)
        line = "ulimit -f 0; trap '' XFSZ; ";
    line += "exec timeout -k 5 60 " + command + " 2>&1 </dev/null";
    const test::CommandOutcome r = test::RunCommand(line);
    return {r.status == 0, r.status == 124 || r.status == 137, r.out};
}

// Runs a core call in a child process, bounded in time as programs are.
Outcome RunInChild(const std::function<void()>& call) {
    int fds[2];
    if (::pipe(fds) != 0)
        return {false, false, "no pipe"};
    const pid_t child = fork();
    if (child == 0) {
        ::close(fds[0]);
        if (limitFileSize) {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit none{0, 0};
            setrlimit(RLIMIT_FSIZE, &none);
        }
        int code = 0;
        std::string message;
        try {
            call();
        } catch (const std::exception& e) {
            message = e.what();
            code = 1;
        }
        [[maybe_unused]] ssize_t n = ::write(fds[1], message.data(), message.size());
        _exit(code);
    }
    ::close(fds[1]);
    Outcome outcome;
    int status = 0;
    bool ended = false;
    if (!test::WaitUntil(
            [&] {
                ended = ended || ::waitpid(child, &status, WNOHANG) != 0;
                return ended;
            },
            std::chrono::seconds(60))) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        outcome.hung = true;
    }
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        outcome.message.append(buffer, size_t(n));
    ::close(fds[0]);
    outcome.written = !outcome.hung && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return outcome;
}

// A korvex-cli command; `args` gets the paths, the target quoted.
std::function<Outcome(const Paths&)> Cli(std::function<std::string(const Paths&, const std::string&)> args) {
    return [args](const Paths& p) {
        return RunProgram(Quote(KORVEX_CLI_PATH) + " " + args(p, Quote(p.target)));
    };
}

std::string ReadAll(const std::string& path) {
    return test::ReadWholeFile(path);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        names.insert(e.path().filename().string());
    return names;
}

// Fills the file system that holds `folder` until not one more byte fits.
void FillUp(const std::string& folder) {
    const int fd = ::open((folder + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    std::vector<char> block(65536, 'f');
    for (size_t size = block.size(); size > 0; size /= 2)
        while (::write(fd, block.data(), size) == ssize_t(size)) {
        }
    ::close(fd);
}

// A writer should succeed on a regular file, the package writer on a
// folder, and the writers that make their folders in a missing one.
bool ShouldWrite(const Writer& w, Target t) {
    if (t == Target::Regular)
        return !w.writesFolder;
    if (t == Target::Folder)
        return w.writesFolder;
    return t == Target::MissingFolder && w.makesFolders;
}

// One cell's target as it was made, to compare with what is there after.
struct Cell {
    std::string folder; // the cell's own folder (a tmpfs of its own, when mounted)
    Paths paths;
    struct stat node {};
    std::string before; // the old file's bytes (an old package's config.txt)
    std::set<std::string> beside;
    bool mounted = false;
};

class FaultMatrix : public ::testing::Test {
protected:
    void SetUp() override {
        inputs = dir.File("inputs");
        fs::create_directory(inputs);
        // A recording of two frames for the export.
        AviWriter avi(inputs + "/in.avi");
        avi.SetPictureSize(320, 240);
        const uint8_t frame[101] = {0xFF, 0xD8};
        avi.AddFrameCopy(frame, sizeof frame);
        avi.AddFrameCopy(frame, 50);
        avi.Commit();
        fs::create_directory(inputs + "/old-package");
        WriteFile(inputs + "/old-package/config.txt", "an older package\n");
        project = ReadAll(KORVEX_SAMPLE_PROJECT);
        // The device commands' password, and settings of this test's own.
        setenv("KORVEX_PASSWORD", "admin", 1);
        setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    }
    void TearDown() override {
        if (device)
            device->Stop();
        for (const std::string& m : mounts)
            ::umount2(m.c_str(), MNT_DETACH);
    }

    std::vector<Writer> Writers();
    // The simulated device, started for the first writer that needs it. The
    // writers that run in a child process come before those in the table,
    // so that no child is forked from a process with the device's threads.
    std::string Device();
    bool Prepare(const Writer& writer, Target target, int number, Cell& cell);
    void Check(const Writer& writer, Target target, const Cell& cell, const Outcome& outcome);

    test::TempDir dir{"korvex-faults"};
    std::string inputs, project;
    std::vector<std::string> mounts;
    std::unique_ptr<devsim::DeviceSimulator> device;
    bool deviceNodes = true;
};

std::vector<Writer> FaultMatrix::Writers() {
    const std::string sample = Quote(KORVEX_SAMPLE_PROJECT);
    std::vector<Writer> writers = {
        {"cli render", Cli([=](auto&, auto& t) { return "render " + sample + " " + t; })},
        {"cli resave", Cli([=](auto&, auto& t) { return "resave " + sample + " " + t + " --force"; })},
        {"cli convert",
         Cli([=](auto&, auto& t) { return "convert " + sample + " " + t + " --size 180x144 --force"; })},
        {"cli new", Cli([](auto&, auto& t) { return "new " + t + " --force"; })},
        {"cli compose", Cli([](auto&, auto& t) { return "compose " + t + " Y1 '(a1 & b2) | cblur'"; }), false,
         true},
        {"cli package", Cli([=](auto&, auto& t) { return "package " + sample + " " + t; }), true, false,
         "out", true},
        {"cli export",
         Cli([](auto& p, auto& t) { return "export -- " + t + " " + Quote(p.inputs + "/in.avi"); })},
        {"window save",
         [](const Paths& p) {
             return RunInChild([&] {
                 Document document;
                 document.New();
                 OpenProject(document, KORVEX_SAMPLE_PROJECT);
                 SaveProject(document, p.target);
             });
         }},
        {"lang.txt", [](const Paths& p) { return RunInChild([&] { WriteLanguageTo(p.target, "pl"); }); }},
        // Recovery copies, program history, known hosts, live pictures and
        // the downloads write through this call.
        {"AtomicFile",
         [](const Paths& p) { return RunInChild([&] { AtomicFile::WriteAll(p.target, "new", 3); }); }},
    };
#ifdef KORVEX_APP_PATH
    writers.push_back({"korvex --report", [](const Paths& p) {
                           return RunProgram("env QT_QPA_PLATFORM=offscreen " + Quote(KORVEX_APP_PATH) +
                                             " --report " + Quote(KORVEX_SAMPLE_PROJECT) + " " +
                                             Quote(p.target));
                       }});
#endif
    writers.push_back({"cli download", Cli([this](auto&, auto& t) { return Device() + "download " + t; })});
    writers.push_back({"cli recordings", Cli([this](const Paths& p, auto&) {
                           return Device() + "recordings get cam2/2026-12-06/09 09-15-00.mp4 --to " +
                                  Quote(p.base + "/");
                       }),
                       false, false, "cam2/2026-12-06/09/09-15-00.mp4", true});
    writers.push_back({"cli live --out", Cli([this](const Paths& p, auto&) {
                           Device();
                           return "live --host 127.0.0.1 --port " + std::to_string(device->LivePort()) +
                                  " --frames 1 --out " + Quote(p.base);
                       }),
                       false, false, "cam0-000000.bmp", true});
    return writers;
}

std::string FaultMatrix::Device() {
    if (!device) {
        devsim::Options options;
        options.rootDir = dir.File("device");
        options.sshPort = 0;
        options.livePort = 0;
        options.announce = false;
        device = std::make_unique<devsim::DeviceSimulator>(options);
        device->Start();
    }
    return "device --host 127.0.0.1 --port " + std::to_string(device->SshPort()) + " --user admin ";
}

bool FaultMatrix::Prepare(const Writer& writer, Target target, int number, Cell& cell) {
    cell.folder = dir.File("cell" + std::to_string(number));
    fs::create_directory(cell.folder);
    if ((target == Target::FullDisk || target == Target::ReadOnly) &&
        ::mount("tmpfs", cell.folder.c_str(), "tmpfs", 0, "size=4m") == 0) {
        mounts.push_back(cell.folder);
        cell.mounted = true;
    }
    cell.paths.inputs = inputs;
    cell.paths.base = cell.folder + (target == Target::MissingFolder ? "/missing" : "");
    const std::string& path = cell.paths.target = cell.paths.base + "/" + writer.targetName;
    if (target != Target::MissingFolder)
        fs::create_directories(fs::path(path).parent_path());
    const bool oldPackage = writer.writesFolder && target != Target::Regular;
    switch (target) {
    case Target::Regular:
    case Target::FullDisk:
    case Target::ReadOnly:
        if (oldPackage)
            fs::copy(inputs + "/old-package", path);
        else
            WriteFile(path, writer.oldIsProject ? project : "old bytes\n");
        break;
    case Target::Device:
        if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
            if (deviceNodes)
                std::printf("device column skipped: making a device node is not permitted here (%s)\n",
                            std::strerror(errno));
            deviceNodes = false;
            return false;
        }
        break;
    case Target::Fifo:
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
        break;
    case Target::Folder:
        fs::create_directory(path);
        break;
    case Target::MissingFolder:
        break;
    }
    ::stat(path.c_str(), &cell.node);
    // Only files are read here: reading the FIFO would wait for a writer.
    if (oldPackage)
        cell.before = ReadAll(path + "/config.txt");
    else if (S_ISREG(cell.node.st_mode))
        cell.before = ReadAll(path);
    if (target == Target::FullDisk) {
        if (cell.mounted)
            FillUp(cell.folder);
        else
            limitFileSize = true;
    } else if (target == Target::ReadOnly) {
        if (cell.mounted) {
            EXPECT_EQ(::mount("tmpfs", cell.folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
        } else {
            fs::permissions(fs::path(path).parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
        }
    }
    cell.beside = Entries(fs::path(path).parent_path());
    return true;
}

void FaultMatrix::Check(const Writer& writer, Target target, const Cell& cell, const Outcome& outcome) {
    const std::string& path = cell.paths.target;
    EXPECT_FALSE(outcome.hung) << "still running after 60 s";
    EXPECT_EQ(outcome.written, ShouldWrite(writer, target)) << outcome.message;
    struct stat now {};
    const bool exists = ::stat(path.c_str(), &now) == 0;
    if (outcome.written) {
        ASSERT_TRUE(exists);
        if (writer.writesFolder) {
            EXPECT_TRUE(fs::exists(path + "/config.txt"));
        } else {
            EXPECT_NE(ReadAll(path), cell.before);
        }
        return;
    }
    // The recordings are named by the folder given and the device's names.
    const std::string named = writer.name == std::string("cli recordings") ? cell.paths.base : path;
    EXPECT_NE(outcome.message.find(named), std::string::npos) << "the path is not named: " << outcome.message;
    if (target == Target::MissingFolder) {
        EXPECT_FALSE(fs::exists(cell.paths.base));
        return;
    }
    ASSERT_TRUE(exists);
    EXPECT_EQ(now.st_mode, cell.node.st_mode);
    EXPECT_EQ(now.st_rdev, cell.node.st_rdev);
    EXPECT_EQ(now.st_ino, cell.node.st_ino);
    if (S_ISREG(now.st_mode)) {
        EXPECT_EQ(ReadAll(path), cell.before) << "the old file changed";
    } else if (S_ISDIR(now.st_mode) && writer.writesFolder) {
        EXPECT_EQ(ReadAll(path + "/config.txt"), cell.before) << "the old package changed";
    }
    EXPECT_EQ(Entries(fs::path(path).parent_path()), cell.beside) << "something was left beside the target";
}

TEST_F(FaultMatrix, EveryWriterLeavesEveryTargetItMustNotWriteAsItWas) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each cell's failures show as it ends
    std::map<std::pair<std::string, Target>, std::string> results;
    const std::vector<Writer> writers = Writers();
    int number = 0;
    for (const Writer& writer : writers) {
        for (Target target : kTargets) {
            SCOPED_TRACE(std::string(writer.name) + " x " + Name(target));
            Cell cell;
            std::string& result = results[{writer.name, target}];
            result = "skipped";
            if (!Prepare(writer, target, ++number, cell))
                continue;
            std::fprintf(stderr, "%s x %s\n", writer.name, Name(target));
            const Outcome outcome = writer.run(cell.paths);
            limitFileSize = false;
            Check(writer, target, cell, outcome);
            result = outcome.hung                                     ? "HUNG"
                     : outcome.written != ShouldWrite(writer, target) ? "WRONG"
                     : outcome.written                                ? "written"
                                                                      : "refused";
            if (target == Target::ReadOnly && !cell.mounted)
                fs::permissions(fs::path(cell.paths.target).parent_path(), fs::perms::owner_all);
        }
    }
    std::printf("\n%-16s", "writer");
    for (Target t : kTargets)
        std::printf("| %-10s", Name(t));
    std::printf("\n");
    for (const Writer& writer : writers) {
        std::printf("%-16s", writer.name);
        for (Target t : kTargets)
            std::printf("| %-10s", results[{writer.name, t}].c_str());
        std::printf("\n");
    }
    std::printf("(full disk: %s; read-only: %s)\n", mounts.empty() ? "file size limit 0" : "full 4 MiB tmpfs",
                mounts.empty() ? "folder without write permission" : "read-only tmpfs");
}

} // namespace
} // namespace korvex
