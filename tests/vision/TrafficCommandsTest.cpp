// korvex-cli lanes and coverage on clip files: the JSON, the bands and the
// exit codes.
#include "files/ProjectFile.h"
#include "model/Document.h"
#include "model/RenderState.h"
#include "support/CommandRun.h"
#include "vision/RoadClips.h"
#include "vision/synth/ClipWriter.h"
#include "vision/synth/RoadClip.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace korvex::vision {
namespace {

namespace fs = std::filesystem;
using korvex::test::CommandOutcome;

class TrafficCommands : public ::testing::Test {
protected:
    void SetUp() override {
        folder = korvex::test::MakeTempFolder("korvex-traffic");
        ASSERT_FALSE(folder.empty());
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string Path(const std::string& name) const { return (fs::path(folder) / name).string(); }
    CommandOutcome Run(const std::string& args) const {
        return korvex::test::RunCommandWithErrors(std::string(KORVEX_CLI_PATH) + " " + args,
                                                  Path("stderr.txt"));
    }

    std::string folder;
};

bool InsidePolygon(const nlohmann::json& polygon, double x, double y) {
    // Convex, clockwise or not: on one side of every edge.
    int sign = 0;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const auto& a = polygon[i];
        const auto& b = polygon[(i + 1) % polygon.size()];
        const double cross = (b[0].get<double>() - a[0].get<double>()) * (y - a[1].get<double>()) -
                             (b[1].get<double>() - a[1].get<double>()) * (x - a[0].get<double>());
        const int s = cross > 0.5 ? 1 : cross < -0.5 ? -1 : 0;
        if (s != 0 && sign != 0 && s != sign)
            return false;
        sign = s ? s : sign;
    }
    return true;
}

// The same traffic read from the device's two recording formats.
TEST_F(TrafficCommands, LanesJsonFromMp4AndAvi) {
    const synth::RoadClip clip(test::BusyRoad({Direction::Up, Direction::Down, Direction::Down}), 21);
    for (const char* name : {"road.mp4", "road.avi"}) {
        SCOPED_TRACE(name);
        synth::WriteRoadClip(clip, Path(name));
        const CommandOutcome r = Run("lanes " + Path(name) + " --band mid --json");
        ASSERT_EQ(r.status, 0) << r.err;
        const nlohmann::json j = nlohmann::json::parse(r.out);
        ASSERT_EQ(j["lanes"].size(), 3u);
        const char* directions[] = {"up", "down", "down"};
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(j["lanes"][i]["direction"], directions[i]);
            EXPECT_GT(j["lanes"][i]["vehicles"].get<int>(), 0);
            EXPECT_GE(j["lanes"][i]["polygon"].size(), 4u);
        }
        ASSERT_EQ(j["detectors"].size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            const auto& d = j["detectors"][i];
            ASSERT_EQ(d["points"].size(), 4u);
            const size_t lane = d["lane"].get<size_t>();
            for (const auto& p : d["points"]) {
                EXPECT_TRUE(InsidePolygon(j["lanes"][lane]["polygon"], p[0], p[1])) << p.dump();
                for (size_t other = 0; other < 3; ++other) {
                    if (other != lane) {
                        EXPECT_FALSE(InsidePolygon(j["lanes"][other]["polygon"], p[0], p[1])) << p.dump();
                    }
                }
            }
        }
    }
}

TEST_F(TrafficCommands, LanesExitCodes) {
    synth::WriteRoadClip(synth::RoadClip(test::BusyRoad({Direction::Down, Direction::Down}, 4), 22),
                         Path("short.mp4"));
    std::ofstream(Path("junk.mp4")) << "not a video at all";
    struct Case {
        std::string args;
        int status;
        const char* says; // on stderr
    };
    const Case cases[] = {
        {"lanes " + Path("short.mp4") + " --json", 1, "too short"},
        {"lanes " + Path("junk.mp4"), 2, "junk.mp4"},
        {"lanes " + Path("missing.mp4"), 2, "missing.mp4"},
        {"lanes " + Path("short.mp4") + " --band sideways", 2, "--band"},
        {"lanes", 2, "lanes CLIP"},
    };
    for (const Case& c : cases) {
        const CommandOutcome r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << "\n" << r.err;
    }
    const CommandOutcome r = Run("lanes " + Path("short.mp4") + " --json");
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_TRUE(j["lanes"].empty());
    EXPECT_EQ(j["reason"], "the clip is too short");
}

// A project whose camera A has one detector in the left lane, one in the
// sky and camera B one that the clip must not see.
TEST_F(TrafficCommands, CoverageOfAProjectsDetectors) {
    synth::RoadConfig config = test::BusyRoad({Direction::Down, Direction::Up});
    config.horizonMin = config.horizonMax = 40;
    const synth::RoadClip clip(config, 23);
    synth::WriteRoadClip(clip, Path("road.mp4"));
    const Quad& lane0 = clip.Lanes()[0].polygon;
    const double y0 = 170, y1 = 190;
    auto at = [&](double y, double share) {
        const double t = (y - lane0[0].y) / (lane0[3].y - lane0[0].y);
        const double l = lane0[0].x + (lane0[3].x - lane0[0].x) * t,
                     r = lane0[1].x + (lane0[2].x - lane0[1].x) * t;
        return int32_t(l + (r - l) * share);
    };
    RenderState state = RenderState::NewProject();
    Detector inLane, inSky, otherCamera;
    inLane.number = 1;
    inLane.points = {{{at(y0, 0.25), int32_t(y0)},
                      {at(y0, 0.75), int32_t(y0)},
                      {at(y1, 0.75), int32_t(y1)},
                      {at(y1, 0.25), int32_t(y1)}}};
    inSky.number = 2;
    inSky.points = {{{200, 20}, {240, 20}, {240, 40}, {200, 40}}};
    otherCamera = inSky;
    otherCamera.card = 1;
    state.detectors = {inLane, inSky, otherCamera};
    Document doc;
    doc.New();
    doc.NewRenderState(state);
    SaveProject(doc, Path("site.kvx"));

    const CommandOutcome r =
        Run("coverage " + Path("site.kvx") + " --card a " + Path("road.mp4") + " --json");
    ASSERT_EQ(r.status, 3) << r.err;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["card"], "A");
    EXPECT_EQ(j["lanes"].size(), 2u);
    ASSERT_EQ(j["detectors"].size(), 2u);
    EXPECT_EQ(j["detectors"][0]["number"], 1);
    EXPECT_GT(j["detectors"][0]["share"].get<double>(), 0.02);
    EXPECT_TRUE(j["detectors"][0]["warnings"].empty()) << j["detectors"][0].dump();
    EXPECT_EQ(j["detectors"][1]["warnings"], nlohmann::json::array({"misplaced"}));

    EXPECT_EQ(Run("coverage " + Path("site.kvx") + " --card C " + Path("road.mp4")).status, 1);
    EXPECT_EQ(Run("coverage " + Path("site.kvx") + " --card A " + Path("nothing.mp4")).status, 2);
    EXPECT_EQ(Run("coverage " + Path("site.kvx") + " --card Q " + Path("road.mp4")).status, 2);
}

} // namespace
} // namespace korvex::vision
