// korvex-cli diff end to end: two saved projects, the lines and JSON it
// prints, and diff's exit statuses.
#include "files/ProjectFile.h"
#include "support/CommandRun.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace korvex;
namespace fs = std::filesystem;

namespace {

class DiffCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir = korvex::test::MakeTempFolder("korvex-diff");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Save(const std::string& name, const RenderState& state) {
        const std::string path = dir + "/" + name;
        const std::vector<uint8_t> bytes = ProjectFileBytes(state, path);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    korvex::test::CommandOutcome Diff(const std::string& args) {
        return korvex::test::RunCommandWithErrors(std::string("'") + KORVEX_CLI_PATH + "' diff " + args,
                                                  dir + "/stderr.txt");
    }

    std::string dir;
};

RenderState WithDetector(uint32_t delay_ms) {
    RenderState s = RenderState::NewProject();
    Detector d(1, 1, 0, 1, 4, s.CanvasWidth(), s.CanvasHeight());
    d.delay = delay_ms;
    s.detectors.push_back(d);
    return s;
}

} // namespace

TEST_F(DiffCommand, ExitsZeroWhenEqualOneWhenDifferentAndPrintsTheChanges) {
    const std::string a = Save("a.kvx", WithDetector(0));
    const std::string same = Save("same.kvx", WithDetector(0));
    const std::string b = Save("b.kvx", WithDetector(2500));

    korvex::test::CommandOutcome r = Diff("'" + a + "' '" + same + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");

    r = Diff("'" + a + "' '" + b + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "B4: delay 0.0 s → 2.5 s\n");

    r = Diff("--json '" + a + "' '" + b + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\"equal\": false"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(
                  "{\"kind\": \"detector-property\", \"subject\": \"B4\", \"card\": 1, \"field\": \"delay\", "
                  "\"before\": \"0.0 s\", \"after\": \"2.5 s\""),
              std::string::npos)
        << r.out;

    r = Diff("--json '" + a + "' '" + same + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "{\"equal\": true, \"changes\": []}\n");
}

TEST_F(DiffCommand, TroubleExitsTwoLikeDiff) {
    const std::string a = Save("a.kvx", WithDetector(0));
    std::ofstream(dir + "/junk.kvx") << "not a project";
    korvex::test::CommandOutcome r = Diff("'" + a + "' '" + dir + "/junk.kvx'");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");
    EXPECT_EQ(Diff("'" + a + "' '" + dir + "/missing.kvx'").status, 2);
    EXPECT_EQ(Diff("'" + a + "'").status, 2);
    EXPECT_EQ(Diff("--bogus '" + a + "' '" + a + "'").status, 2);
}
