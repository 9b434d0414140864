#include "live/CameraDriftWatch.h"

#include <gtest/gtest.h>
#include <random>

namespace korvex {
namespace {

struct NullHost : LiveViewHost {
    void Invalidate(bool) override {}
    void SetContentSize(int, int) override {}
};

// A textured 320 x 240 scene seen moved by (dx, dy), with noise.
Bitmap Scene(int dx, int dy, uint32_t seed) {
    Bitmap b(320, 240);
    std::mt19937 noise(seed);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const int sx = x - dx, sy = y - dy;
            const uint32_t g =
                uint32_t(((sx / 23 + sy / 17) % 2 ? 60 : 170) + (sx * sx + sy * 3) % 40 + int(noise() % 7));
            b.SetPixelColour(uint32_t(x), uint32_t(y), g | g << 8 | g << 16);
        }
    return b;
}

class DriftWatch : public ::testing::Test {
protected:
    void SetUp() override {
        PictureHeader h;
        h.width = 320;
        h.height = 240;
        h.camera = 1;
        core.OnFrameHeader(h);
        std::array<Bitmap, kCameraSlots> refs;
        refs[0] = Scene(0, 0, 1);
        refs[1] = Scene(0, 0, 2);
        watch.SetReferences(refs);
    }
    // New pictures for both cameras, 1.1 s later; then one round.
    unsigned Round(int dx, int dy) {
        now += 1100;
        core.Deliver(0, Scene(dx, dy, uint32_t(now)));
        core.Deliver(1, Scene(0, 0, uint32_t(now + 1)));
        return watch.CheckDue();
    }
    uint64_t now = 100000;
    NullHost host;
    LiveViewCore core{host, [this] { return now; }};
    CameraDriftWatch watch{core, [this] { return now; }};
};

TEST_F(DriftWatch, ReportsAMovementOnceSeveralPicturesAgree) {
    EXPECT_EQ(Round(6, -3), 2u);
    EXPECT_EQ(Round(6, -3), 2u);
    EXPECT_FALSE(watch.Drifts()[0].Moved()); // two pictures are not enough
    Round(6, -3);
    const auto drifts = watch.Drifts();
    ASSERT_TRUE(drifts[0].Moved());
    EXPECT_EQ(drifts[0].estimate.dx, 6);
    EXPECT_EQ(drifts[0].estimate.dy, -3);
    EXPECT_EQ(drifts[0].checks, 3u);
    // Camera 1 is where it was: known, but not moved.
    EXPECT_TRUE(drifts[1].estimate.Known());
    EXPECT_FALSE(drifts[1].Moved());
    EXPECT_FALSE(drifts[2].Moved()); // no reference, no picture
}

TEST_F(DriftWatch, ChecksAtMostOnceASecondAndOnlyNewPictures) {
    EXPECT_EQ(Round(4, 4), 2u);
    // Half a second later with new pictures: too soon.
    now += 500;
    core.Deliver(0, Scene(4, 4, 77));
    EXPECT_EQ(watch.CheckDue(), 0u);
    // A second later but the same picture as last time: nothing new to see.
    now += 600;
    EXPECT_EQ(watch.CheckDue(), 1u); // camera 0 has the picture delivered above
    now += 1100;
    EXPECT_EQ(watch.CheckDue(), 0u);
}

TEST_F(DriftWatch, ANewReferenceStartsAgain) {
    for (int i = 0; i < 3; ++i)
        Round(5, 5);
    ASSERT_TRUE(watch.Drifts()[0].Moved());
    std::array<Bitmap, kCameraSlots> refs;
    refs[0] = Scene(5, 5, 9); // the background now shows the moved scene
    refs[1] = Scene(0, 0, 2); // unchanged: camera 1 keeps its checks
    watch.SetReferences(refs);
    EXPECT_EQ(watch.Drifts()[0].checks, 0u);
    EXPECT_FALSE(watch.Drifts()[0].Moved());
    EXPECT_EQ(watch.Drifts()[1].checks, 3u);
    for (int i = 0; i < 3; ++i)
        Round(5, 5);
    EXPECT_TRUE(watch.Drifts()[0].estimate.Known());
    EXPECT_FALSE(watch.Drifts()[0].Moved());
}

TEST_F(DriftWatch, PicturesOfAnotherSizeAreNotCompared) {
    PictureHeader h;
    h.width = 180;
    h.height = 144;
    h.camera = 0;
    core.OnFrameHeader(h); // every known camera now has 180 x 144 pictures
    now += 1100;
    core.Deliver(0, Bitmap(180, 144));
    EXPECT_EQ(watch.CheckDue(), 0u);
}

} // namespace
} // namespace korvex
