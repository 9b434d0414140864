// korvex-cli export run as a user runs it.
#include "export/AviTestData.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace korvex::test {
namespace {

struct Outcome {
    int exitCode = -1;
    std::string output; // stdout and stderr together
};

Outcome RunCli(const std::string& arguments) {
    Outcome o;
    std::string command = std::string(KORVEX_CLI_PATH) + " " + arguments + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return o;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        o.output.append(buffer, n);
    int status = pclose(pipe);
    o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
}

TEST(ExportCliTest, JoinsFilesReportsEachFileAndFailsCleanly) {
    TempDir folder{"korvex-export"};
    WriteFile(folder / "a.avi", MakeRecording(MakeFrames(3, 32, 32)));
    WriteFile(folder / "b.avi", MakeRecording({MakeJpeg(32, 32, 1, 1)}));
    std::string out = folder / "out.avi";

    Outcome copy = RunCli("export " + out + " " + folder / "a.avi" + " " + folder / "b.avi");
    EXPECT_EQ(copy.exitCode, 0) << copy.output;
    // Not a terminal here: one status line per file, then the summary.
    EXPECT_NE(copy.output.find(LoadTextA(text::export_exporting) + " 1/2 " + folder / "a.avi"),
              std::string::npos)
        << copy.output;
    EXPECT_NE(copy.output.find(LoadTextA(text::export_exporting) + " 2/2 " + folder / "b.avi"),
              std::string::npos);
    EXPECT_NE(copy.output.find(out + ": 4 frames"), std::string::npos);
    Bytes copied = ReadFile(out);

    Outcome reencode =
        RunCli("export --reencode --threads 2 " + out + " " + folder / "a.avi" + " " + folder / "b.avi");
    EXPECT_EQ(reencode.exitCode, 0) << reencode.output;
    EXPECT_NE(ReadFile(out), copied);

    WriteFile(folder / "bad.avi", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
    Bytes before = ReadFile(out);
    Outcome bad = RunCli("export " + out + " " + folder / "a.avi" + " " + folder / "bad.avi");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.output.find(folder / "bad.avi" + "'.\n" + LoadTextA(text::export_not_avi)),
              std::string::npos)
        << bad.output;
    EXPECT_EQ(ReadFile(out), before);

    // "--" ends the options; it is not taken for the output file.
    Outcome dashes = RunCli("export -- " + out + " " + folder / "a.avi");
    EXPECT_EQ(dashes.exitCode, 0) << dashes.output;
    EXPECT_NE(dashes.output.find(out + ": 3 frames"), std::string::npos) << dashes.output;

    EXPECT_EQ(RunCli("export " + out).exitCode, 2);
    EXPECT_EQ(RunCli("export --bogus " + out + " " + folder / "a.avi").exitCode, 2);
    EXPECT_EQ(RunCli("export --help").exitCode, 0);
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"a.avi", "b.avi", "bad.avi", "out.avi"}));
}

} // namespace
} // namespace korvex::test
