// korvex-cli background: a camera's background from a picture file, as
// the window sets it, written only when the picture could be taken.
#include "files/ProjectFile.h"
#include "image/PictureFit.h"
#include "support/CommandRun.h"
#include "support/TempDir.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace korvex::test {
namespace {

class BackgroundCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (RunCommand("command -v convert >/dev/null 2>&1").status != 0)
            GTEST_SKIP() << "ImageMagick's convert is not installed; the pictures are made with it";
        project = dir / "p.kvx";
        ASSERT_EQ(Cli("new '" + project + "'").status, 0);
    }
    CommandOutcome Cli(const std::string& args) {
        return RunCommandWithErrors(std::string(KORVEX_CLI_PATH) + " " + args, dir / "err.txt");
    }
    // A picture of `size` ("640x360"): red on its left half, blue on its right.
    std::string Picture(const std::string& size, const std::string& name) {
        const std::string path = dir / name;
        const size_t x = size.find('x');
        const int half = std::stoi(size.substr(0, x)) / 2;
        const std::string h = size.substr(x + 1);
        EXPECT_EQ(RunCommand("convert -size " + std::to_string(half) + "x" + h + " xc:red -size " +
                             std::to_string(half) + "x" + h + " xc:blue +append '" + path + "'")
                      .status,
                  0);
        return path;
    }
    TempDir dir{"korvex-background"};
    std::string project;
};

TEST_F(BackgroundCommandTest, FitFillAndTheQuestionOfShape) {
    const std::string wide = Picture("640x360", "wide.png");
    const std::string before = ReadWholeFile(project);
    struct Case {
        std::string options;
        int status;
        uint32_t topLeft, middleLeft; // card B's pixels (0x00BBGGRR) at (10, 0) and (10, 120)
    };
    const Case cases[] = {
        {"", 1, 0, 0},                         // another shape: refused, saying what to add
        {"--fit --fill", 2, 0, 0},             // both: bad usage
        {"--fit", 0, kFitBarColour, 0x0000FF}, // bars above and below, red on the left
        {"--fill", 0, 0x0000FF, 0x0000FF},     // no bars
    };
    for (const Case& c : cases) {
        const std::string out = dir / "out.kvx";
        std::remove(out.c_str());
        const CommandOutcome r =
            Cli("background '" + project + "' --card B '" + wide + "' " + c.options + " -o '" + out + "'");
        EXPECT_EQ(r.status, c.status) << c.options << ": " << r.err;
        EXPECT_EQ(ReadWholeFile(project), before) << c.options; // -o: the project itself never changes
        if (c.status != 0) {
            EXPECT_FALSE(std::filesystem::exists(out)) << c.options;
            continue;
        }
        const RenderState s = LoadProject(out);
        EXPECT_EQ(s.backgrounds[1].GetPixelColour(10, 0), c.topLeft) << c.options;
        EXPECT_EQ(s.backgrounds[1].GetPixelColour(10, 120), c.middleLeft) << c.options;
        EXPECT_EQ(s.backgrounds[1].GetPixelColour(310, 120), 0xFF0000u) << c.options; // blue
        EXPECT_TRUE(s.backgrounds[0] == LoadProject(project).backgrounds[0]) << c.options;
    }
    const CommandOutcome refused = Cli("background '" + project + "' --card B '" + wide + "'");
    EXPECT_NE(refused.err.find("--fit"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--fill"), std::string::npos) << refused.err;
}

TEST_F(BackgroundCommandTest, SameShapeNeedsNoChoiceAndNarrowCamerasTurnGrey) {
    // The camera's own shape saves in place without --fit or --fill.
    ASSERT_EQ(Cli("background '" + project + "' --card A '" + Picture("640x480", "same.jpg") + "'").status,
              0);
    const uint32_t red = LoadProject(project).backgrounds[0].GetPixelColour(10, 10);
    EXPECT_GT(red & 0xFF, 200u) << std::hex << red; // red stays red (give or take the JPEG)
    EXPECT_LT(red >> 16 & 0xFF, 60u) << std::hex << red;
    // A 180 x 144 project: grey between the margins.
    const std::string narrow = dir / "narrow.kvx";
    ASSERT_EQ(Cli("new '" + narrow + "' --size 180x144").status, 0);
    ASSERT_EQ(Cli("background '" + narrow + "' --card A '" + Picture("360x288", "narrow.png") + "'").status,
              0);
    const Bitmap b = LoadProject(narrow).backgrounds[0];
    EXPECT_EQ(b.GetPixelColour(40, 70), 0x353535u); // the grey of red: 53
    EXPECT_EQ(b.GetPixelColour(10, 70), 0xFFFFFFu); // margin as it was
}

TEST_F(BackgroundCommandTest, BadCardsAndDamagedPicturesChangeNothing) {
    const std::string picture = Picture("640x480", "p.png");
    const std::string before = ReadWholeFile(project);
    EXPECT_EQ(Cli("background '" + project + "' --card Q '" + picture + "'").status, 2);
    EXPECT_EQ(Cli("background '" + project + "' '" + picture + "'").status, 2);
    EXPECT_EQ(Cli("background '" + project + "' --card H '" + picture + "'").status, 1); // no camera H
    const std::string cut = dir / "cut.png";
    const std::string bytes = ReadWholeFile(picture);
    std::ofstream(cut, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size() / 2));
    const CommandOutcome r = Cli("background '" + project + "' --card A '" + cut + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cut.png"), std::string::npos) << r.err;
    EXPECT_EQ(ReadWholeFile(project), before);
}

} // namespace
} // namespace korvex::test
