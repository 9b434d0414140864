// The simulator's scenes: pictures from the project's cards, traffic over
// the detectors, traces measured on the pictures, the camera check.

#include "DevsimFixture.h"
#include "devsim/SceneRenderer.h"
#include "devsim/SceneStream.h"
#include "model/RenderState.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>

using namespace korvex;
using namespace korvex::devsim;

namespace {

const SceneSet& Sample() {
    static const SceneSet scenes = SceneSet::FromProject(KORVEX_SAMPLE_PROJECT, 7);
    return scenes;
}

size_t Differing(const ScenePicture& a, const ScenePicture& b, int tolerance) {
    size_t n = 0;
    for (int y = 0; y < ScenePicture::kHeight; ++y)
        for (int x = 0; x < ScenePicture::kWidth; ++x)
            n += std::abs(int(a.Grey(x, y)) - int(b.Grey(x, y))) > tolerance;
    return n;
}

} // namespace

TEST(Scenes, PicturesDependOnlyOnSeedAndTime) {
    const SceneSet& scenes = Sample();
    ASSERT_EQ(scenes.CardCount(), 4u);
    ScenePicture a, b;
    for (size_t card = 0; card < 4; ++card) {
        scenes.Render(card, 61'300, a);
        scenes.Render(card, 61'300, b);
        EXPECT_EQ(a.rgb, b.rgb) << "card " << card;
        // Two seconds later the traffic has moved.
        scenes.Render(card, 63'300, b);
        EXPECT_GT(Differing(a, b, 12), 200u) << "card " << card;
    }
    const SceneSet other = SceneSet::FromProject(KORVEX_SAMPLE_PROJECT, 8);
    other.Render(0, 61'300, b);
    scenes.Render(0, 61'300, a);
    EXPECT_NE(a.rgb, b.rgb);
}

TEST(Scenes, EmptySceneIsTheCardsPictureOfTheCameraWindow) {
    // A 180 x 144 project: the picture sits at canvas columns 30 to 209.
    RenderState state;
    state.width = 180;
    state.height = 144;
    Bitmap background(240, 144);
    for (uint32_t y = 0; y < 144; ++y)
        for (uint32_t x = 0; x < 240; ++x)
            background.SetPixelColour(x, y, x < 30 || x >= 210 ? 0x0000FF : (x - 30) | y << 8);
    state.backgrounds.push_back(background);
    const SceneSet scenes(state, 1);
    ScenePicture empty;
    scenes.RenderEmpty(0, 0, empty); // full daylight at time 0
    for (int x : {0, 100, 319})
        for (int y : {0, 120, 239}) {
            const uint8_t* p = empty.rgb.data() + (size_t(y) * 320 + size_t(x)) * 3;
            EXPECT_EQ(p[0], x * 180 / 320) << x << "," << y;
            EXPECT_EQ(p[1], y * 144 / 240) << x << "," << y;
            EXPECT_EQ(p[2], 0);
        }
    // At night the same picture is darker, never brighter.
    ScenePicture night;
    scenes.RenderEmpty(0, 120'000, night);
    EXPECT_LT(night.Grey(319, 239), empty.Grey(319, 239));
}

TEST(Scenes, TrafficPassesOverEveryAreaDetectorOfTheSample) {
    const SceneSet& scenes = Sample();
    ScenePicture picture;
    for (size_t card = 0; card < scenes.CardCount(); ++card) {
        const SceneCard& c = scenes.Card(card);
        std::vector<unsigned> lowest(c.detectors.size(), 1000), highest(c.detectors.size(), 0);
        for (int64_t t = 0; t < 90'000; t += 1000) {
            scenes.Render(card, t, picture);
            for (size_t d = 0; d < c.detectors.size(); ++d) {
                const unsigned share =
                    SceneStream::CoveredShare(c, c.detectors[d], picture, DaylightAt(t), {});
                lowest[d] = std::min(lowest[d], share);
                highest[d] = std::max(highest[d], share);
            }
        }
        for (size_t d = 0; d < c.detectors.size(); ++d) {
            if (c.detectors[d].line)
                continue; // traffic may cross it or not
            EXPECT_LT(lowest[d], 20u) << "card " << card << " detector " << c.detectors[d].number;
            EXPECT_GT(highest[d], 100u) << "card " << card << " detector " << c.detectors[d].number;
        }
    }
}

TEST(SceneStream, TraceCountsPicturesByCoveredShare) {
    const SceneSet& scenes = Sample();
    SceneStream stream(scenes);
    for (int64_t t = 0; t < 40'000; t += 100)
        stream.Draw(0, t, {});
    const std::vector<uint16_t> trace = stream.Trace(0, 0); // A1
    ASSERT_EQ(trace.size(), 250u);
    EXPECT_EQ(std::accumulate(trace.begin(), trace.end(), 0u), 400u);
    const unsigned empty = std::accumulate(trace.begin(), trace.begin() + 3, 0u);
    const unsigned vehicle = std::accumulate(trace.begin() + 25, trace.end(), 0u);
    EXPECT_GT(empty, 40u);
    EXPECT_GT(vehicle, 20u);
    // Other cameras' detectors saw nothing yet; unknown detectors have none.
    const std::vector<uint16_t> gate = stream.Trace(1, 1);
    ASSERT_EQ(gate.size(), 250u);
    EXPECT_EQ(std::accumulate(gate.begin(), gate.end(), 0u), 0u);
    EXPECT_TRUE(stream.Trace(0, 30).empty());
    EXPECT_TRUE(stream.Trace(9, 0).empty());
}

TEST(SceneStream, TraceKeepsTheLatestPicturesOnly) {
    const SceneSet& scenes = Sample();
    SceneStream stream(scenes);
    for (int64_t i = 0; i < int64_t(SceneStream::kTraceWindow) + 50; ++i)
        stream.Draw(2, i * 100, {});
    const std::vector<uint16_t> trace = stream.Trace(2, 0);
    EXPECT_EQ(std::accumulate(trace.begin(), trace.end(), size_t(0)), SceneStream::kTraceWindow);
}

TEST(SceneStream, CameraCheckFindsAKnockedCameraAndNotAStillOne) {
    const SceneSet& scenes = Sample();
    for (unsigned camera = 0; camera < 4; ++camera) {
        SceneStream still(scenes), knocked(scenes);
        for (int64_t t = 5'000; t < 8'000; t += 100) {
            still.Draw(camera, t, {});
            knocked.Draw(camera, t, {4, -3});
        }
        EXPECT_FALSE(still.Moved(camera)) << camera;
        EXPECT_TRUE(knocked.Moved(camera)) << camera;
    }
    ScenePicture picture, moved;
    scenes.Render(1, 4'500, picture);
    const std::vector<uint8_t> grey = SceneGrey(picture, 320, 240, {3, 2});
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            uint8_t* p = moved.rgb.data() + (size_t(y) * 320 + size_t(x)) * 3;
            p[0] = p[1] = p[2] = grey[size_t(y) * 320 + size_t(x)];
        }
    const PictureShift found = SceneStream::BestAlignment(scenes.Card(1), moved, DaylightAt(4'500));
    EXPECT_EQ(found.dx, 3);
    EXPECT_EQ(found.dy, 2);
}

TEST(SceneFormats, EachCameraFormatShowsTheSamePictureMoved) {
    ScenePicture picture;
    Sample().Render(2, 12'000, picture);
    const std::vector<uint8_t> grey = SceneGrey(picture, 320, 240);
    const std::vector<uint8_t> moved = SceneGrey(picture, 320, 240, {5, -2});
    ASSERT_EQ(grey.size(), 320u * 240u);
    EXPECT_EQ(moved[100 * 320 + 105], grey[102 * 320 + 100]);
    EXPECT_EQ(moved[100 * 320 + 2], grey[102 * 320 + 0]); // the edge repeats
    const std::vector<uint8_t> small = SceneGrey(picture, 180, 144);
    ASSERT_EQ(small.size(), 180u * 144u);
    EXPECT_EQ(small[72 * 180 + 90], picture.Grey(90 * 320 / 180 + 0, 72 * 240 / 144 + 0));
    const std::vector<uint16_t> colour = SceneColour565(picture);
    const uint8_t* p = picture.rgb.data() + (size_t(50) * 320 + 60) * 3;
    EXPECT_EQ(colour[50 * 320 + 60], uint16_t((p[0] >> 3) << 11 | (p[1] >> 2) << 5 | p[2] >> 3));
    const std::vector<uint8_t> luma = SceneLuma(picture, 352, 288);
    EXPECT_EQ(luma[0], 16);
    EXPECT_EQ(luma[(24 + 100) * 352 + 16 + 100], 16 + (grey[100 * 320 + 100] * 219 + 127) / 255);
}

TEST(DevsimProgram, SceneOptionsAreCheckedBeforeAnythingStarts) {
    devsimtest::TempDir root;
    const std::string program = KORVEX_DEVSIM_PATH;
    const std::vector<std::string> common = {program,      "--root", root.Path() + "/device", "--no-announce",
                                             "--ssh-port", "0",      "--live-port",           "0"};
    struct Case {
        std::vector<std::string> extra;
        const char* says;
    };
    const Case cases[] = {
        {{"--shift", "9:1,1"}, "--shift"},        {{"--shift", "0:1,1"}, "--shift"},
        {{"--shift", "2:3"}, "CAMERA:DX,DY"},     {{"--shift", "2:3,x"}, "CAMERA:DX,DY"},
        {{"--shift", "2:41,0"}, "-40 to 40"},     {{"--scenes", root.Path() + "/none.kvx"}, "none.kvx"},
        {{"--scene-seed", "-1"}, "--scene-seed"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = common;
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        std::string out, err;
        EXPECT_EQ(devsimtest::RunProgram(args, "", out, err), 2) << c.extra[1];
        EXPECT_NE(err.find(c.says), std::string::npos) << c.extra[1] << ": " << err;
    }
}
