#include "live/PictureConvert.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace korvex {
namespace {

// The formula written out independently of the code under test.
uint32_t Formula(int y, int u, int v) {
    auto clamp = [](int x) { return x < 0 ? 0 : x > 255 ? 255 : x; };
    const int c = 298 * (y - 16) + 128;
    const int r = clamp((c + 409 * (v - 128)) >> 8);
    const int g = clamp((c - 100 * (u - 128) - 208 * (v - 128)) >> 8);
    const int b = clamp((c + 516 * (u - 128)) >> 8);
    return uint32_t(b) << 16 | uint32_t(g) << 8 | uint32_t(r);
}

class ConvertPaths : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ForceConversionPath(GetParam());
        if (std::string(ConversionPath()) != GetParam())
            GTEST_SKIP() << "this processor has no " << GetParam() << " path";
    }
    void TearDown() override { ForceConversionPath(nullptr); }
};

// Every (Y, U, V) combination: one chroma row per (U, V) pair, the 256 luma
// values across it, converted in blocks by the fast path and compared with
// the formula pixel by pixel.
TEST_P(ConvertPaths, EveryYuvTripleMatchesTheFormula) {
    constexpr int kWidth = 256, kPairsPerBlock = 1024, kRows = 2 * kPairsPerBlock;
    std::vector<uint8_t> y(size_t(kWidth) * kRows), u(size_t(kWidth / 2) * kPairsPerBlock),
        v(size_t(kWidth / 2) * kPairsPerBlock);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kWidth; ++c)
            y[size_t(r) * kWidth + c] = uint8_t(c);
    Bitmap out(kWidth, kRows);
    size_t mismatches = 0;
    for (int block = 0; block < 65536 / kPairsPerBlock; ++block) {
        for (int t = 0; t < kPairsPerBlock; ++t) {
            const int pair = block * kPairsPerBlock + t;
            std::fill_n(u.begin() + size_t(t) * (kWidth / 2), kWidth / 2, uint8_t(pair & 0xFF));
            std::fill_n(v.begin() + size_t(t) * (kWidth / 2), kWidth / 2, uint8_t(pair >> 8));
        }
        I420Planes p{y.data(), u.data(), v.data(), kWidth, kWidth / 2, kWidth / 2, kWidth, kRows};
        ConvertI420Window(p, 0, 0, out);
        for (int r = 0; r < kRows; ++r) {
            const int pair = block * kPairsPerBlock + r / 2;
            const uint8_t* row = out.Row(uint32_t(r));
            for (int c = 0; c < kWidth; ++c) {
                const uint32_t want = Formula(c, pair & 0xFF, pair >> 8);
                const uint32_t got = uint32_t(row[3 * c]) << 16 | uint32_t(row[3 * c + 1]) << 8 | row[3 * c + 2];
                if (got != want && ++mismatches < 5)
                    ADD_FAILURE() << "Y " << c << " U " << (pair & 0xFF) << " V " << (pair >> 8) << ": got " << std::hex
                                  << got << " want " << want;
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

// A decoded-size picture with padded rows and random content: the centre
// window of the fast path equals the per-pixel reference everywhere, and
// nothing outside the window is read into it.
TEST_P(ConvertPaths, CentreWindowOfPaddedPictureMatchesReference) {
    std::mt19937 rng(7);
    const int w = 352, h = 288, ys = 384, cs = 200;
    std::vector<uint8_t> y(size_t(ys) * h), u(size_t(cs) * h / 2), v(size_t(cs) * h / 2);
    for (auto* plane : {&y, &u, &v})
        for (auto& b : *plane)
            b = uint8_t(rng());
    I420Planes p{y.data(), u.data(), v.data(), ys, cs, cs, w, h};
    for (auto [left, top, cw, ch] : {std::tuple{16, 24, 320, 240}, std::tuple{0, 0, 352, 288}, std::tuple{2, 6, 36, 3}}) {
        Bitmap fast{uint32_t(cw), uint32_t(ch)}, reference{uint32_t(cw), uint32_t(ch)};
        ConvertI420Window(p, left, top, fast);
        ConvertI420WindowReference(p, left, top, reference);
        EXPECT_EQ(fast, reference) << left << "," << top << " " << cw << "x" << ch;
        EXPECT_EQ(reference.GetPixelColour(5, 2),
                  Formula(y[size_t(top + 2) * ys + left + 5], u[size_t((top + 2) / 2) * cs + (left + 5) / 2],
                          v[size_t((top + 2) / 2) * cs + (left + 5) / 2]));
    }
}

TEST_P(ConvertPaths, EveryColour16ValueMatchesTheReference) {
    // 65536 pixels: 256 x 256, value = index.
    std::vector<uint8_t> payload(65536 * 2);
    for (unsigned i = 0; i < 65536; ++i) {
        payload[2 * i] = uint8_t(i);
        payload[2 * i + 1] = uint8_t(i >> 8);
    }
    Bitmap fast(256, 256), reference(256, 256);
    ConvertColour16(payload.data(), fast);
    ConvertColour16Reference(payload.data(), reference);
    EXPECT_EQ(fast, reference);
    // Spot checks of the bit layout: no replication of the top bits.
    EXPECT_EQ(fast.GetPixelColour(0, 0xF8), 0x0000F8u);  // 0xF800: red only
    EXPECT_EQ(fast.GetPixelColour(0xE0, 0x07), 0x00FC00u); // 0x07E0: green only
    EXPECT_EQ(fast.GetPixelColour(0x1F, 0), 0xF80000u);   // 0x001F: blue only
    EXPECT_EQ(fast.GetPixelColour(0xFF, 0xFF), 0xF8FCF8u);
}

TEST_P(ConvertPaths, GreyCopiesEachValueIntoAllChannels) {
    for (auto [w, h] : {std::pair{180u, 144u}, std::pair{320u, 240u}, std::pair{4u, 3u}}) {
        std::vector<uint8_t> payload(size_t(w) * h);
        for (size_t i = 0; i < payload.size(); ++i)
            payload[i] = uint8_t(i * 31 + 7);
        Bitmap fast(w, h), reference(w, h);
        ConvertGrey(payload.data(), fast);
        ConvertGreyReference(payload.data(), reference);
        EXPECT_EQ(fast, reference) << w << "x" << h;
        const uint32_t v = payload[size_t(w) + 1];
        EXPECT_EQ(fast.GetPixelColour(1, 1), v << 16 | v << 8 | v);
    }
}

INSTANTIATE_TEST_SUITE_P(Live, ConvertPaths, ::testing::Values("portable", "ssse3", "avx2"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
} // namespace korvex
