// korvex-cli compose, run as a user would between the other project commands.
#include "files/ProjectFile.h"
#include "framework/BinaryFile.h"

#include "support/CommandRun.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace korvex;
namespace fs = std::filesystem;

namespace {

using Outcome = korvex::test::CommandOutcome; // stdout and stderr together

Outcome Cli(const std::string& args) {
    return korvex::test::RunCommand(std::string("'") + KORVEX_CLI_PATH + "' " + args + " 2>&1");
}

class Compose : public ::testing::Test {
protected:
    void SetUp() override {
        dir = korvex::test::MakeTempFolder("korvex-compose");
        ASSERT_FALSE(dir.empty());
        project = "'" + (fs::path(dir) / "p.kvx").string() + "'";
        ASSERT_EQ(Cli("new " + project).status, 0);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::vector<uint8_t> Bytes() const { return BinaryFile::ReadAll((fs::path(dir) / "p.kvx").string()); }
    std::string dir, project;
};

} // namespace

TEST_F(Compose, SetsRowsSavesAndPrintsThemBack) {
    Outcome y1 = Cli("compose " + project + " Y1 '(a1 & b2) | cblur'");
    EXPECT_EQ(y1.status, 0) << y1.out;
    EXPECT_EQ(y1.out, "Y1 = ((A1 & B2) | Cblur)\n");
    Outcome z = Cli("compose " + project + " z64 'Hblank ^ D32'");
    EXPECT_EQ(z.out, "Z64 = (Hblank ^ D32)\n");
    Outcome card = Cli("compose " + project + " Bc 0");
    EXPECT_EQ(card.out, "Bc = 0\n");

    Outcome script = Cli("script " + project);
    ASSERT_EQ(script.status, 0);
    EXPECT_EQ(script.out.substr(0, 25), "Y1 = ((A1 & B2) | Cblur)\n");
    EXPECT_NE(script.out.find("Y24 = 1\nZ64 = (Hblank ^ D32)\nBc = 0\n"), std::string::npos);
    // The package inside the file carries the same script.
    Outcome package = Cli("package " + project + " '" + dir + "/pkg'");
    ASSERT_EQ(package.status, 0);
    std::vector<uint8_t> compose = BinaryFile::ReadAll(dir + "/pkg/compose.txt");
    EXPECT_EQ(std::string(compose.begin(), compose.end()), script.out);

    // An empty formula clears the Z row again.
    EXPECT_EQ(Cli("compose " + project + " Z64 ''").out, "Z64 = \n");
    EXPECT_EQ(Cli("script " + project).out.find("Z64"), std::string::npos);
}

TEST_F(Compose, ErrorsExitTwoAndLeaveTheFileAlone) {
    ASSERT_EQ(Cli("compose " + project + " Y2 A1").status, 0);
    std::vector<uint8_t> before = Bytes();
    struct Case {
        const char* row;
        const char* formula;
        const char* mention;
    } cases[] = {
        {"Y2", "A1 & (B2 | ", "Column 12"},
        {"Y2", "A1 & (B2 | C3", "Column 6"},
        {"Y2", "A1 & A33", "Column 6"},
        {"Y2", "A1 + B1", "Column 4"},
        {"Y2", "", "Column 1"},
        {"Y25", "A1", "Y25"},
        {"Z0", "A1", "Z0"},
        {"Ec", "A1", "Ec"},
        {"Q", "A1", "'Q'"},
    };
    for (const Case& c : cases) {
        Outcome r = Cli("compose " + project + " '" + c.row + "' '" + c.formula + "'");
        EXPECT_EQ(r.status, 2) << c.row << " " << c.formula;
        EXPECT_NE(r.out.find(c.mention), std::string::npos) << r.out;
        EXPECT_EQ(Bytes(), before) << c.row << " " << c.formula;
    }
    EXPECT_EQ(Cli("compose " + project + " Y2").status, 2);
    // A project that cannot be read is a failure, not a usage error.
    EXPECT_EQ(Cli("compose '" + dir + "/missing.kvx' Y1 A1").status, 1);
    // Setting what is already there does not rewrite the file.
    EXPECT_EQ(Cli("compose " + project + " Y2 a1").out, "Y2 = A1\n");
    EXPECT_EQ(Bytes(), before);
}
