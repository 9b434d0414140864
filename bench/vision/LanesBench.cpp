// korvex_lanes_bench: how often lanes and proposed detectors come out right
// on synthetic road clips, and what finding them costs.
//
//   korvex_lanes_bench [--clips N] [--seconds S] [--speed-only] [--verbose]
//   korvex_lanes_bench --picture tuned|unseen|fresh SEED FILE.pgm
//
// Three sets of clips: "tuned" is the generator's default configuration,
// the one the analysis was developed against; "unseen" another (other
// camera heights and road widths, more and faster traffic, more noise and
// drift), first run when the analysis stood, whose failures were then
// looked at; "fresh" a third, run only for the final figures. Each clip is analysed
// from pictures in memory; the speed figure reads H.264 files as the CLI
// does.
#include "vision/ClipReader.h"
#include "vision/LaneFinder.h"
#include "vision/synth/ClipWriter.h"
#include "vision/synth/RoadClip.h"
#include "vision/synth/Score.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

using namespace korvex::vision;
using namespace korvex::vision::synth;

namespace {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

RoadConfig Unseen() {
    RoadConfig c;
    c.horizonMin = 10, c.horizonMax = 70;
    c.vanishShift = 70;
    c.roadGap = 20;
    c.bottomWidthMin = 230, c.bottomWidthMax = 330;
    c.roadShift = 35;
    c.rateMin = 8, c.rateMax = 18;
    c.crossMin = 4, c.crossMax = 8;
    c.sizeMin = 0.45, c.sizeMax = 0.75;
    c.lengthMin = 0.6, c.lengthMax = 2.6;
    c.wander = 0.1;
    c.noise = 6, c.drift = 0.25, c.driftPeriod = 60;
    c.dullShare = 0.25;
    return c;
}

// A third configuration, written after the analysis was finished and run
// once for the figures: slower, sparser traffic on narrower roads, seen
// from lower down.
RoadConfig Fresh() {
    RoadConfig c;
    c.horizonMin = 0, c.horizonMax = 60;
    c.vanishShift = 50;
    c.roadGap = 35;
    c.bottomWidthMin = 180, c.bottomWidthMax = 280;
    c.roadShift = 40;
    c.rateMin = 5, c.rateMax = 12;
    c.crossMin = 6, c.crossMax = 12;
    c.sizeMin = 0.55, c.sizeMax = 0.8;
    c.lengthMin = 1.0, c.lengthMax = 2.0;
    c.wander = 0.05;
    c.noise = 3, c.drift = 0.2, c.driftPeriod = 120;
    c.dullShare = 0.1;
    return c;
}

struct Row {
    int clips = 0, matched = 0, directions = 0, proposalsRight = 0, across = 0, right = 0;
};

void Accuracy(const char* name, RoadConfig config, int clips, uint32_t firstSeed, bool verbose) {
    std::map<int, Row> byLanes;
    Row all;
    for (int i = 0; i < clips; ++i) {
        const uint32_t seed = firstSeed + uint32_t(i);
        const RoadClip clip(config, seed);
        LaneFinder finder;
        GreyPicture picture;
        for (int f = 0; f < clip.FrameCount(); ++f) {
            clip.Render(f, picture);
            finder.Add(picture);
        }
        const LaneResult found = finder.Finish(clip.Fps());
        const auto proposals = ProposeDetectors(found.lanes, Band::Near, clip.Width(), clip.Height());
        const LaneScore s = ScoreLanes(clip.Lanes(), found.lanes, proposals);
        for (Row* r : {&byLanes[s.truthLanes], &all}) {
            ++r->clips;
            r->matched += s.matched;
            r->directions += s.directions;
            r->proposalsRight += s.proposalsInside == s.truthLanes && int(proposals.size()) == s.truthLanes;
            r->across += s.proposalsAcross > 0;
            r->right += s.Right();
        }
        if (!s.Right()) {
            std::printf(
                "  %s seed %u: %d lanes, found %d (%s) matched %d directions %d inside %d across %d\n", name,
                seed, s.truthLanes, s.foundLanes, FailureText(found.failure), s.matched, s.directions,
                s.proposalsInside, s.proposalsAcross);
            if (verbose) {
                for (const TruthLane& t : clip.Lanes())
                    std::printf("    truth %s x %.0f..%.0f at 239, top row %.0f, %d vehicles\n",
                                DirectionName(t.direction), t.polygon[3].x, t.polygon[2].x, t.polygon[0].y,
                                t.vehicles);
                for (const Lane& l : found.lanes)
                    std::printf("    lane %s x %.0f..%.0f at %.0f, rows %.0f..%.0f, %d vehicles\n",
                                DirectionName(l.direction), l.LeftAt(l.bottom), l.RightAt(l.bottom), l.bottom,
                                l.top, l.bottom, l.vehicles);
            }
        }
    }
    std::printf("\n%-7s | lanes | clips | lanes matched | directions right | proposals right | across two | "
                "all right\n",
                name);
    auto print = [](const char* label, const Row& r) {
        std::printf("        | %5s | %5d | %13d | %16d | %15d | %10d | %d (%.1f %%)\n", label, r.clips,
                    r.matched, r.directions, r.proposalsRight, r.across, r.right,
                    r.clips ? 100.0 * r.right / r.clips : 0);
    };
    for (const auto& [lanes, r] : byLanes)
        print(std::to_string(lanes).c_str(), r);
    print("all", all);
}

void Speed(int clips, double seconds) {
    const std::string folder =
        std::filesystem::temp_directory_path() / ("korvex-lanes-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    RoadConfig config;
    config.seconds = seconds;
    double cpu = 0, video = 0;
    for (int i = 0; i < clips; ++i) {
        const RoadClip clip(config, 500 + uint32_t(i));
        const std::string path = folder + "/clip" + std::to_string(i) + ".mp4";
        WriteRoadClip(clip, path);
        const double before = CpuSeconds();
        const LaneResult r = FindLanesInClip(path);
        const auto proposals = ProposeDetectors(r.lanes, Band::Near, clip.Width(), clip.Height());
        cpu += CpuSeconds() - before;
        video += r.frames / r.fps;
        if (proposals.empty())
            std::printf("  speed clip %d: no proposals (%s)\n", i, FailureText(r.failure));
    }
    std::filesystem::remove_all(folder);
    std::printf("\nlanes on %d H.264 clips of 320 x 240 at 10 pictures a second, %.0f s of video:\n", clips,
                video);
    std::printf("cpu_seconds_per_video_minute %.2f (decode included)\n", cpu / (video / 60));
}

// A picture of the clip with the known lanes' sides (white), the found
// lanes' sides (black) and the proposals (grey), as a PGM file to look at.
void Picture(const RoadConfig& config, uint32_t seed, const std::string& path) {
    const RoadClip clip(config, seed);
    LaneFinder finder;
    GreyPicture picture, shown;
    for (int f = 0; f < clip.FrameCount(); ++f) {
        clip.Render(f, picture);
        finder.Add(picture);
        if (f == clip.FrameCount() / 2)
            shown = picture;
    }
    const LaneResult found = finder.Finish(clip.Fps());
    auto dot = [&](double x, double y, uint8_t v) {
        if (x >= 0 && y >= 0 && x < shown.width && y < shown.height)
            shown.At(int(x), int(y)) = v;
    };
    for (int y = 0; y < shown.height; ++y) {
        for (const TruthLane& t : clip.Lanes()) {
            const Quad& q = t.polygon;
            if (y < q[0].y)
                continue;
            const double k = (y - q[0].y) / (q[3].y - q[0].y);
            dot(q[0].x + (q[3].x - q[0].x) * k, y, 255);
            dot(q[1].x + (q[2].x - q[1].x) * k, y, 255);
        }
        for (const Lane& l : found.lanes)
            if (y >= l.top && y <= l.bottom) {
                dot(l.LeftAt(y), y, 0);
                dot(l.RightAt(y), y, 0);
                dot(l.CentreAt(y), y, l.direction == Direction::Down ? 0 : 255);
            }
    }
    for (const Proposal& p : ProposeDetectors(found.lanes, Band::Near, shown.width, shown.height))
        for (int y = p.points[0][1]; y <= p.points[3][1]; ++y)
            for (int x = p.points[3][0]; x <= p.points[2][0]; x += 2)
                dot(x, y, 128);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return;
    std::fprintf(f, "P5 %d %d 255\n", shown.width, shown.height);
    std::fwrite(shown.pixels.data(), 1, shown.pixels.size(), f);
    std::fclose(f);
}

} // namespace

int main(int argc, char** argv) {
    int clips = 40;
    double seconds = 60;
    bool verbose = false, speedOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--clips") && i + 1 < argc)
            clips = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--verbose"))
            verbose = true;
        else if (!std::strcmp(argv[i], "--picture") && i + 3 < argc) {
            const std::string set = argv[i + 1];
            Picture(set == "unseen"  ? Unseen()
                    : set == "fresh" ? Fresh()
                                     : RoadConfig(),
                    uint32_t(std::atoi(argv[i + 2])), argv[i + 3]);
            return 0;
        } else if (!std::strcmp(argv[i], "--speed-only"))
            speedOnly = true;
        else {
            std::fprintf(stderr,
                         "usage: korvex_lanes_bench [--clips N] [--seconds S] [--speed-only] [--verbose]\n");
            return 2;
        }
    }
    if (!speedOnly) {
        RoadConfig tuned;
        tuned.seconds = seconds;
        RoadConfig unseen = Unseen();
        unseen.seconds = seconds;
        Accuracy("tuned", tuned, clips, 1, verbose);
        Accuracy("unseen", unseen, clips, 1001, verbose);
        RoadConfig fresh = Fresh();
        fresh.seconds = seconds;
        Accuracy("fresh", fresh, clips, 2001, verbose);
    }
    Speed(speedOnly ? clips : 5, seconds);
    return 0;
}
