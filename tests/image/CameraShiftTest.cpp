#include "image/CameraShift.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

using namespace korvex;

namespace {

// A street-like scene: a shaded ground (its direction depends on `seed`)
// with boxes of many sizes and greys.
Bitmap Scene(uint32_t w, uint32_t h, uint32_t seed) {
    Bitmap b(w, h);
    const uint32_t a = 1 + seed % 3, c = 1 + (seed / 3) % 3;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t g = 60 + (a * x + c * y) % 90;
            b.SetPixelColour(x, y, g | g << 8 | g << 16);
        }
    std::mt19937 rng(seed);
    for (int k = 0; k < 60; ++k) {
        const uint32_t bw = 4 + rng() % 40, bh = 4 + rng() % 30;
        const uint32_t x0 = rng() % (w - bw), y0 = rng() % (h - bh), g = rng() % 256;
        for (uint32_t y = y0; y < y0 + bh; ++y)
            for (uint32_t x = x0; x < x0 + bw; ++x)
                b.SetPixelColour(x, y, g | g << 8 | g << 16);
    }
    return b;
}

// `scene` seen by a camera whose picture moved by (dx, dy): new ground at
// the edges, brightness times `gain`, a dark truck over a quarter of the
// picture, and noise.
Bitmap Seen(const Bitmap& scene, int dx, int dy, double gain, bool truck, uint32_t seed) {
    const int w = int(scene.Width()), h = int(scene.Height());
    Bitmap out(scene.Width(), scene.Height());
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0, 5);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int sx = x - dx, sy = y - dy;
            double g = (sx >= 0 && sy >= 0 && sx < w && sy < h) ? scene.Row(uint32_t(sy))[sx * 3]
                                                                : (x * 7 + y) % 200;
            if (truck && x >= w / 4 && x < 3 * w / 4 && y >= h / 4 && y < 3 * h / 4)
                g = ((y / 6) % 2) ? 30 : 90;
            const uint32_t v = uint32_t(std::clamp(g * gain + noise(rng), 0.0, 255.0));
            out.SetPixelColour(uint32_t(x), uint32_t(y), v | v << 8 | v << 16);
        }
    return out;
}

TEST(CameraShift, FindsTheOffsetThroughBrightnessTrafficAndNoise) {
    const Bitmap scene = Scene(320, 240, 7);
    struct Case {
        int dx, dy;
        double gain;
    };
    const Case cases[] = {{0, 0, 1.4},    {7, 3, 0.6},     {-40, 40, 1.0},
                          {40, -40, 0.6}, {-13, -29, 1.4}, {2, 0, 1.0}};
    for (const Case& c : cases) {
        const ShiftEstimate e =
            EstimateShift(scene, Seen(scene, c.dx, c.dy, c.gain, true, uint32_t(c.dx + 100)));
        ASSERT_TRUE(e.Known()) << c.dx << "," << c.dy;
        EXPECT_EQ(e.dx, c.dx);
        EXPECT_EQ(e.dy, c.dy);
        EXPECT_TRUE(e.Confident()) << c.dx << "," << c.dy << " confidence " << e.confidence;
    }
}

TEST(CameraShift, NarrowPicturesAndTheRangeLimit) {
    const Bitmap scene = Scene(180, 144, 3);
    const ShiftEstimate near = EstimateShift(scene, Seen(scene, -9, 12, 0.7, false, 1));
    EXPECT_EQ(near.dx, -9);
    EXPECT_EQ(near.dy, 12);
    // A shift beyond the range searched is never reported as one inside it
    // with confidence.
    const ShiftEstimate limited = EstimateShift(scene, Seen(scene, 30, 0, 1.0, false, 2), 10);
    EXPECT_FALSE(limited.Confident() && limited.dx != 30);
    EXPECT_LE(std::abs(limited.dx), 10);
}

TEST(CameraShift, SaysCannotTellInsteadOfGuessing) {
    const Bitmap scene = Scene(320, 240, 11);
    // A flat grey picture (camera covered, fog) has nothing to match.
    Bitmap grey(320, 240);
    for (uint8_t& b : grey.Data())
        b = 128;
    EXPECT_EQ(EstimateShift(scene, grey).verdict, ShiftEstimate::Verdict::Flat);
    EXPECT_EQ(EstimateShift(grey, scene).verdict, ShiftEstimate::Verdict::Flat);
    // Another scene altogether: never a confident answer.
    for (uint32_t seed : {12u, 13u, 15u}) {
        const ShiftEstimate other = EstimateShift(scene, Scene(320, 240, seed));
        EXPECT_FALSE(other.Confident()) << other.dx << "," << other.dy << " " << other.confidence;
    }
    // Pictures of other sizes are not compared.
    EXPECT_EQ(EstimateShift(scene, Scene(180, 144, 11)).verdict, ShiftEstimate::Verdict::SizeMismatch);
    EXPECT_EQ(EstimateShift(Bitmap(), Bitmap()).verdict, ShiftEstimate::Verdict::SizeMismatch);
}

ShiftEstimate At(int dx, int dy, double confidence) {
    ShiftEstimate e;
    e.verdict = ShiftEstimate::Verdict::Shift;
    e.dx = dx;
    e.dy = dy;
    e.confidence = confidence;
    return e;
}

TEST(CameraShift, SeveralPicturesMustAgree) {
    ShiftEstimate flat;
    flat.verdict = ShiftEstimate::Verdict::Flat;
    const ShiftEstimate agreed = AgreedShift({At(5, 2, 0.9), At(5, 2, 0.7), At(-3, 0, 0.9)});
    ASSERT_TRUE(agreed.Known());
    EXPECT_EQ(agreed.dx, 5);
    EXPECT_EQ(agreed.dy, 2);
    EXPECT_DOUBLE_EQ(agreed.confidence, 0.7);
    // No majority, or a majority only of weak answers: cannot tell.
    EXPECT_FALSE(AgreedShift({At(5, 2, 0.9), At(-3, 0, 0.9), flat}).Known());
    EXPECT_FALSE(AgreedShift({At(5, 2, 0.2), At(5, 2, 0.3), At(5, 2, 0.9)}).Known());
    EXPECT_FALSE(AgreedShift({flat, flat}).Known());
    EXPECT_EQ(AgreedShift({At(1, 1, 0.1)}).dx, 1);
}

TEST(CameraShift, DescribesTheMovementInWords) {
    EXPECT_EQ(DescribeShift(7, 3), "moved 7 px right, 3 px down");
    EXPECT_EQ(DescribeShift(-4, 0), "moved 4 px left");
    EXPECT_EQ(DescribeShift(0, -2), "moved 2 px up");
    EXPECT_EQ(DescribeShift(0, 0), "not moved");
}

} // namespace
