#include "live/TuningPlot.h"

#include "live/LiveInterfaces.h"

#include <atomic>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace korvex {
namespace {

TuningTrace Trace(std::initializer_list<std::pair<unsigned, uint16_t>> set) {
    TuningTrace t{};
    for (auto [i, v] : set)
        t[i] = v;
    return t;
}

TEST(TuningPlot, EmptyTraceDrawsNothingAndReadsNothing) {
    TuningCurve curve = TuningCurve::FromTrace(TuningTrace{});
    EXPECT_EQ(curve.Total(), 0u);
    for (unsigned bin : {0u, 100u, 249u})
        EXPECT_FALSE(tuning::BarTop(curve, bin, 500).has_value());
    // No trace: no horizontal cross-hair (it would divide by zero), no
    // read-out, no click target.
    EXPECT_FALSE(tuning::ThresholdRow(10, curve.Total(), 500).has_value());
    EXPECT_FALSE(tuning::ReadAt(100, 100, 300, 500, curve.Total()).has_value());
}

TEST(TuningPlot, FirstSampleAloneGivesFullHeightCurve) {
    TuningCurve curve = TuningCurve::FromTrace(Trace({{0, 7}}));
    EXPECT_EQ(curve.level, 7);
    EXPECT_EQ(curve.Total(), 7u);
    // Every bar reaches from the bottom row to row -1: the whole height.
    for (unsigned bin : {0u, 1u, 249u})
        EXPECT_EQ(tuning::BarTop(curve, bin, 400), -1);
}

TEST(TuningPlot, CurveIsCumulativeAndBarsRise) {
    TuningCurve curve = TuningCurve::FromTrace(Trace({{0, 100}, {1, 100}, {125, 200}}));
    EXPECT_EQ(curve.cumulative[0], 100u);
    EXPECT_EQ(curve.cumulative[1], 200u);
    EXPECT_EQ(curve.cumulative[124], 200u);
    EXPECT_EQ(curve.cumulative[125], 400u);
    EXPECT_EQ(curve.Total(), 400u);
    // Height 400: a quarter, a half, then everything.
    EXPECT_EQ(tuning::BarTop(curve, 0, 400), 400 - 100 - 1);
    EXPECT_EQ(tuning::BarTop(curve, 124, 400), 400 - 200 - 1);
    EXPECT_EQ(tuning::BarTop(curve, 249, 400), -1);
    EXPECT_FALSE(tuning::BarTop(curve, 250, 400).has_value());
}

TEST(TuningPlot, LargeTracesDoNotOverflow) {
    TuningTrace t;
    t.fill(65535);
    TuningCurve curve = TuningCurve::FromTrace(t);
    EXPECT_EQ(curve.Total(), 65535u * 250u);
    // Half way along a 1000-row view the bar covers (126/250) of the height.
    EXPECT_EQ(tuning::BarTop(curve, 125, 1000), 1000 - 1000 * 126 / 250 - 1);
    // The top of a tall view reads the whole total, the middle half of it.
    auto top = tuning::ReadAt(0, 0, 500, 1000, curve.Total());
    ASSERT_TRUE(top.has_value());
    EXPECT_EQ(top->threshold, curve.Total());
    auto middle = tuning::ReadAt(0, 500, 500, 1000, curve.Total());
    EXPECT_EQ(middle->threshold, curve.Total() / 2);
}

TEST(TuningPlot, CrossHairPositions) {
    EXPECT_EQ(tuning::FeatureColumn(880), 220);
    EXPECT_EQ(tuning::FeatureColumn(0), 0);
    EXPECT_EQ(tuning::FeatureColumn(1000), 250);
    EXPECT_EQ(tuning::ThresholdRow(0, 1000, 300), 300);
    EXPECT_EQ(tuning::ThresholdRow(500, 1000, 300), 150);
    EXPECT_EQ(tuning::ThresholdRow(1000, 1000, 300), 0);
}

TEST(TuningPlot, PointerReadingAndClickValues) {
    const uint32_t total = 1500;
    auto r = tuning::ReadAt(150, 100, 300, 400, total);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->feature, 500u);
    EXPECT_EQ(r->threshold, 300u * 1500u / 400u);
    // Corners: bottom left reads 0/0, top right 1000/total.
    EXPECT_EQ(tuning::ReadAt(0, 400, 300, 400, total)->feature, 0u);
    EXPECT_EQ(tuning::ReadAt(0, 400, 300, 400, total)->threshold, 0u);
    EXPECT_EQ(tuning::ReadAt(300, 0, 300, 400, total)->feature, 1000u);
    // A drag beyond the view is clamped rather than wrapping round.
    auto outside = tuning::ReadAt(-40, 900, 300, 400, total);
    ASSERT_TRUE(outside.has_value());
    EXPECT_EQ(outside->feature, 0u);
    EXPECT_EQ(outside->threshold, 0u);
    EXPECT_EQ(tuning::ReadAt(9000, -5, 300, 400, total)->threshold, total);
    // A view without area reads nothing.
    EXPECT_FALSE(tuning::ReadAt(0, 0, 0, 400, total).has_value());
}

TEST(TuningPlot, CsvHasHeaderAndOneRowPerSample) {
    TuningCurve curve = TuningCurve::FromTrace(Trace({{0, 1000}, {1, 3}, {249, 9}}));
    std::istringstream in(tuning::TraceCsv(curve, 2, 17));
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line))
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u + kTraceSamples);
    EXPECT_EQ(lines[0], "camera,detector,bin,feature_threshold,sample,cumulative");
    EXPECT_EQ(lines[1], "2,17,0,0,1000,1000");
    EXPECT_EQ(lines[2], "2,17,1,4,3,1003");
    EXPECT_EQ(lines[250], "2,17,249,996,9,1012");
}

TEST(TuningPlot, MailboxHandsOverWholeTracesOnce) {
    TraceMailbox box;
    EXPECT_FALSE(box.Take().has_value());
    box.Put(Trace({{0, 1}}));
    box.Put(Trace({{0, 2}}));
    auto taken = box.Take();
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(taken->level, 2); // the newest wins
    EXPECT_FALSE(box.Take().has_value());

    // A writer filling traces whose samples are all equal: every trace the
    // reader sees is uniform, never half of one and half of another.
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (uint16_t v = 1; v < 3000; ++v) {
            TuningTrace t;
            t.fill(v);
            box.Put(t);
        }
        done.store(true);
    });
    int seen = 0;
    auto check = [&](const TuningCurve& c) {
        for (uint16_t s : c.samples)
            ASSERT_EQ(s, c.samples[0]);
        ++seen;
    };
    while (!done.load())
        if (auto c = box.Take())
            check(*c);
    writer.join();
    if (auto c = box.Take())
        check(*c);
    EXPECT_GT(seen, 0);
}

struct MailboxSelection : TuningSelection {
    void SetTrace(const TuningTrace& values) override { box.Put(values); }
    TraceMailbox box;
};

TEST(TuningSelectionTest, RequestPressedTwiceIsReportedOnce) {
    MailboxSelection selection;
    int camera = 9, detector = 9;
    bool once = true;
    // No selection: nothing to ask for, and the flag waits.
    selection.RequestOnce();
    EXPECT_FALSE(selection.GetTuningRequest(camera, detector, once));
    selection.Select(1, 4);
    selection.RequestOnce();
    selection.RequestOnce();
    ASSERT_TRUE(selection.GetTuningRequest(camera, detector, once));
    EXPECT_EQ(camera, 1);
    EXPECT_EQ(detector, 4);
    EXPECT_TRUE(once);
    ASSERT_TRUE(selection.GetTuningRequest(camera, detector, once));
    EXPECT_FALSE(once);
}

} // namespace
} // namespace korvex
