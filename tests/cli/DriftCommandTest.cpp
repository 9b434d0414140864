// korvex-cli drift on the sample project's backgrounds.
#include "files/ProjectFile.h"
#include "framework/AtomicFile.h"
#include "model/CameraFollow.h"
#include "support/CommandRun.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace korvex;
namespace fs = std::filesystem;

namespace {

class CliDrift : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::MakeTempFolder("korvex-drift");
        ASSERT_FALSE(dir.empty());
        project = LoadProject(KORVEX_SAMPLE_PROJECT);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const std::string& name) const { return (fs::path(dir) / name).string(); }
    test::CommandOutcome Drift(const std::string& args) const {
        return test::RunCommandWithErrors(std::string("'") + KORVEX_CLI_PATH + "' drift '" +
                                              KORVEX_SAMPLE_PROJECT + "' " + args,
                                          Path("stderr.txt"));
    }
    // Camera `card`'s background as the camera would now see it: moved by
    // (dx, dy), the edges repeated, 30 % darker.
    std::string Picture(uint32_t card, int dx, int dy) const {
        const Bitmap bg = CameraPictureOf(project, card);
        Bitmap moved(bg.Width(), bg.Height());
        const int w = int(bg.Width()), h = int(bg.Height());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t* s =
                    bg.Row(uint32_t(std::clamp(y - dy, 0, h - 1))) + std::clamp(x - dx, 0, w - 1) * 3;
                uint8_t* o = moved.Row(uint32_t(y)) + x * 3;
                for (int c = 0; c < 3; ++c)
                    o[c] = uint8_t(s[c] * 7 / 10);
            }
        const std::string path = Path("seen" + std::to_string(card) + ".bmp");
        const std::vector<uint8_t> bytes = EncodeBmp24(moved);
        AtomicFile::WriteAll(path, bytes.data(), bytes.size());
        return path;
    }
    std::string dir;
    RenderState project;
};

TEST_F(CliDrift, ReportsTheShiftThatRealignsTheDetectors) {
    const auto json = Drift("--card b '" + Picture(1, 6, -4) + "' --json");
    ASSERT_EQ(json.status, 0) << json.err;
    const auto shift = nlohmann::json::parse(json.out);
    EXPECT_EQ(shift["card"], "B") << json.out;
    EXPECT_EQ(shift["dx"], 6) << json.out;
    EXPECT_EQ(shift["dy"], -4) << json.out;
    EXPECT_EQ(shift["confident"], true) << json.out;

    const auto text = Drift("--card A '" + Picture(0, -3, 0) + "'");
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("camera A: moved 3 px left (dx -3, dy 0)"), std::string::npos) << text.out;
}

TEST_F(CliDrift, CannotTellLeavesTheOffsetOut) {
    Bitmap flat(project.width, project.height);
    const std::vector<uint8_t> bytes = EncodeBmp24(flat);
    AtomicFile::WriteAll(Path("flat.bmp"), bytes.data(), bytes.size());
    const auto json = Drift("--card C '" + Path("flat.bmp") + "' --json");
    ASSERT_EQ(json.status, 0) << json.err;
    const auto verdict = nlohmann::json::parse(json.out);
    EXPECT_FALSE(verdict.contains("dx")) << json.out;
    EXPECT_EQ(verdict["confident"], false) << json.out;
    EXPECT_EQ(verdict["verdict"], "flat") << json.out;
    const auto text = Drift("--card C '" + Path("flat.bmp") + "'");
    EXPECT_NE(text.out.find("cannot tell"), std::string::npos) << text.out;
}

TEST_F(CliDrift, RefusesBadInput) {
    // A picture of another size fails with the bitmap check's message.
    const std::vector<uint8_t> small = EncodeBmp24(Bitmap(180, 144));
    AtomicFile::WriteAll(Path("small.bmp"), small.data(), small.size());
    const auto wrongSize = Drift("--card A '" + Path("small.bmp") + "'");
    EXPECT_EQ(wrongSize.status, 1);
    EXPECT_FALSE(wrongSize.err.empty());
    EXPECT_TRUE(wrongSize.out.empty());
    EXPECT_EQ(Drift("--card Z '" + Path("small.bmp") + "'").status, 2);
    EXPECT_EQ(Drift("'" + Path("small.bmp") + "'").status, 2);
    // A camera the project has no background for.
    const auto missing = Drift("--card H '" + Picture(0, 1, 1) + "'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no background for camera H"), std::string::npos) << missing.err;
}

} // namespace
