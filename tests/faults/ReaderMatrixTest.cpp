// The readers' fault matrix: every reader of projects and pictures against
// damaged copies of a good file (cut at ten offsets, 1 MiB appended, grown
// to a 2 GiB sparse file). A damaged input is never taken as good: the
// reader refuses it (diff with exit 2), writes nothing, and stays within
// 64 MiB of memory above its own baseline. The one cell a format allows is
// a JPEG with bytes after its end marker (cameras store further pictures
// there): it must give exactly the pixels of the whole file. A new reader
// joins the table below.
#include "image/Bitmap.h"
#include "image/PictureReader.h"
#include "support/CommandRun.h"
#include "support/TempDir.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace korvex::test {
namespace {

namespace fs = std::filesystem;

constexpr long kMemoryBound_KB = 64 * 1024;

struct ChildRun {
    int exit = -1;      // -1: did not exit normally
    long maxRss_KB = 0; // the child's peak resident memory
};

// Runs a program with stdin, stdout and stderr on /dev/null and returns
// its status and peak memory (wait4).
ChildRun Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    pid_t pid = -1;
    ChildRun run;
    if (posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status))
            run.exit = WEXITSTATUS(status);
        run.maxRss_KB = usage.ru_maxrss;
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// The core picture reader in a child process, so that its memory is its
// own: exit 0 with the expected pixels, 3 with other pixels, 1 refused.
ChildRun ReadInChild(const std::string& path, const Picture& expected) {
    const pid_t pid = fork();
    if (pid == 0) {
        int code = 1;
        try {
            const Picture p = ReadPicture(path);
            code = p.width == expected.width && p.height == expected.height && p.bgr == expected.bgr ? 0 : 3;
        } catch (const std::exception&) {
        }
        _exit(code);
    }
    ChildRun run;
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status))
        run.exit = WEXITSTATUS(status);
    run.maxRss_KB = usage.ru_maxrss;
    return run;
}

enum class Base { Project, Bmp, Png, Jpeg };

struct Input {
    std::string name;
    std::string path;
    bool whole = false;    // the undamaged file
    bool appended = false; // bytes after the file's end (1 MiB, or up to 2 GiB)
    bool huge = false;     // the 2 GiB file
};

std::string Bytes(const std::string& path) {
    return ReadWholeFile(path);
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// The whole file, ten cuts (1 byte, 10 % to 80 %, all but the last byte),
// 1 MiB of stray bytes appended, and the file grown to 2 GiB (sparse).
std::vector<Input> DamagedCopies(const std::string& good, const std::string& folder,
                                 const std::string& stem) {
    const std::string bytes = Bytes(good);
    std::vector<Input> inputs{{"whole", good, true}};
    std::vector<size_t> cuts{1};
    for (size_t k = 1; k <= 8; ++k)
        cuts.push_back(bytes.size() * k / 10);
    cuts.push_back(bytes.size() - 1);
    for (size_t i = 0; i < cuts.size(); ++i) {
        Input in{"cut" + std::to_string(i), folder + "/" + stem + "-cut" + std::to_string(cuts[i])};
        Write(in.path, bytes.substr(0, cuts[i]));
        inputs.push_back(in);
    }
    std::string tail(1 << 20, '\0');
    uint32_t x = 12345;
    for (char& c : tail)
        c = char((x = x * 1103515245u + 12345u) >> 24);
    Input appended{"+1MiB", folder + "/" + stem + "-appended"};
    appended.appended = true;
    Write(appended.path, bytes + tail);
    inputs.push_back(appended);
    Input huge{"2GiB", folder + "/" + stem + "-huge"};
    huge.appended = huge.huge = true;
    Write(huge.path, bytes);
    fs::resize_file(huge.path, uint64_t(2) << 30);
    inputs.push_back(huge);
    return inputs;
}

struct Reader {
    std::string name;
    Base base;
    // Runs the reader on `input`, with `out` as the file it would write.
    std::function<ChildRun(const std::string& input, const std::string& out)> run;
    bool writes = false; // it writes `out` when it succeeds
    int refusal = -1;    // the exit status a damaged input must give; -1: any but 0
    bool okWhole = true; // the whole file gives exit 0 (check may give 3)
};

class ReaderMatrix : public ::testing::Test {
protected:
    void SetUp() override {
        if (RunCommand("command -v convert >/dev/null 2>&1").status != 0)
            GTEST_SKIP() << "ImageMagick's convert is not installed; the pictures are made with it";
        // A picture with detail (so the JPEG is not trivial) in each format,
        // and a 24-bit BMP of the sample's camera size for drift.
        const std::string src = dir / "src.png";
        ASSERT_EQ(RunCommand("convert -size 160x120 plasma:red-blue -seed 7 -depth 8 '" + src + "'").status,
                  0);
        pictures[Base::Png] = dir / "pic.png";
        pictures[Base::Jpeg] = dir / "pic.jpg";
        pictures[Base::Bmp] = dir / "camera.bmp";
        ASSERT_EQ(RunCommand("convert '" + src + "' '" + pictures[Base::Png] + "'").status, 0);
        ASSERT_EQ(RunCommand("convert '" + src + "' -quality 90 '" + pictures[Base::Jpeg] + "'").status, 0);
        ASSERT_EQ(RunCommand("convert '" + src + "' -resize 320x240! -type truecolor BMP3:'" +
                             pictures[Base::Bmp] + "'")
                      .status,
                  0);
        pictures[Base::Project] = KORVEX_SAMPLE_PROJECT;
    }

    std::vector<Reader> Readers() {
        const std::string cli = KORVEX_CLI_PATH, sample = KORVEX_SAMPLE_PROJECT;
        const std::string bmp = pictures[Base::Bmp], png = pictures[Base::Png];
        auto command = [cli](std::vector<std::string> args) {
            args.insert(args.begin(), cli);
            return Spawn(args);
        };
        std::vector<Reader> r;
        auto project = [&](std::string name, auto fn) {
            Reader reader{std::move(name), Base::Project, fn};
            r.push_back(reader);
            return &r.back();
        };
        project("info", [=](auto& in, auto&) { return command({"info", in}); });
        project("check", [=](auto& in, auto&) { return command({"check", in}); })->okWhole = false;
        project("resave", [=](auto& in, auto& out) { return command({"resave", in, out}); })->writes = true;
        project("convert", [=](auto& in, auto& out) {
            return command({"convert", in, out, "--size", "180x144"});
        })->writes = true;
        project("diff", [=](auto& in, auto&) { return command({"diff", sample, in}); })->refusal = 2;
        project("drift", [=](auto& in, auto&) { return command({"drift", in, "--card", "A", bmp}); });
#ifdef KORVEX_APP_PATH
        project("report", [](auto& in, auto& out) {
            return Spawn({KORVEX_APP_PATH, "--report", in, out});
        })->writes = true;
#endif
        project("background", [=](auto& in, auto& out) {
            return command({"background", in, "--card", "A", png, "--fit", "-o", out});
        })->writes = true;
        for (Base base : {Base::Bmp, Base::Png, Base::Jpeg}) {
            const std::string format = base == Base::Bmp ? "BMP" : base == Base::Png ? "PNG" : "JPEG";
            Reader cliReader{
                "background " + format, base, [=](auto& in, auto& out) {
                    return command({"background", sample, "--card", "B", in, "--fit", "-o", out});
                }};
            cliReader.writes = true;
            r.push_back(cliReader);
            r.push_back({"picture reader " + format, base,
                         [this, base](auto& in, auto&) { return ReadInChild(in, expected[base]); }});
        }
        r.push_back({"drift BMP", Base::Bmp, [=](auto& in, auto&) {
                         return command({"drift", sample, "--card", "A", in});
                     }});
        return r;
    }

    TempDir dir{"korvex-reader-matrix"};
    std::map<Base, std::string> pictures;
    std::map<Base, Picture> expected;
};

TEST_F(ReaderMatrix, NoReaderTakesADamagedFileAsGood) {
    std::map<Base, std::vector<Input>> inputs;
    for (Base base : {Base::Project, Base::Bmp, Base::Png, Base::Jpeg}) {
        inputs[base] = DamagedCopies(pictures[base], dir.Path(), "in" + std::to_string(int(base)));
        if (base != Base::Project)
            expected[base] = ReadPicture(pictures[base]);
    }
    std::vector<std::string> columns;
    for (const Input& in : inputs[Base::Project])
        columns.push_back(in.name);
    std::map<std::string, std::map<std::string, std::string>> cells;
    std::vector<std::string> rows;
    for (const Reader& reader : Readers()) {
        rows.push_back(reader.name);
        long baseline_KB = 0;
        for (const Input& in : inputs[reader.base]) {
            const std::string out = dir / "out.kvx";
            fs::remove(out);
            const ChildRun run =
                reader.run(in.path, reader.name.rfind("report", 0) == 0 ? dir / "out.pdf" : out);
            const bool wrote = fs::exists(out) || fs::exists(dir / "out.pdf");
            fs::remove(dir / "out.pdf");
            // A JPEG ends at its end marker; what follows is not read.
            const bool tolerated = in.appended && reader.base == Base::Jpeg;
            std::string cell = "exit " + std::to_string(run.exit);
            const std::string where = reader.name + " on " + in.name;
            if (in.whole || tolerated) {
                EXPECT_TRUE(run.exit == 0 || (!reader.okWhole && run.exit == 3)) << where;
                if (tolerated) {
                    cell += " (tolerated: pixels as whole)";
                }
            } else {
                EXPECT_NE(run.exit, 0) << where;
                EXPECT_NE(run.exit, -1) << where << ": the reader crashed";
                if (reader.refusal >= 0) {
                    EXPECT_EQ(run.exit, reader.refusal) << where;
                }
                EXPECT_FALSE(reader.writes && wrote) << where << " wrote a file";
            }
            if (in.name == "cut0")
                baseline_KB = run.maxRss_KB;
            if (in.huge) {
                const long over_KB = run.maxRss_KB - baseline_KB;
                EXPECT_LE(over_KB, kMemoryBound_KB) << where;
                cell += ", +" + std::to_string(std::max(0L, over_KB) / 1024) + " MiB";
            }
            cells[reader.name][in.name] = cell;
        }
    }
    std::string table = "reader x input -> exit status (2GiB: peak memory above the reader's baseline)\n";
    for (const std::string& row : rows) {
        table += row + ":";
        for (const std::string& column : columns)
            table += "  " + column + "=" + cells[row][column];
        table += "\n";
    }
    std::printf("%s", table.c_str());
}

} // namespace
} // namespace korvex::test
