#include "live/LiveBackground.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

Bitmap Filled(uint32_t w, uint32_t h, uint8_t value) {
    Bitmap b(w, h);
    std::fill(b.Data().begin(), b.Data().end(), value);
    return b;
}

TEST(LiveBackgroundTest, CameraSizedPictureReplacesASameSizedBackground) {
    Bitmap live = Filled(320, 240, 9);
    live.SetPixelColour(319, 239, 0x123456);
    auto bg = LiveBackground(live, 320, 240, Filled(320, 240, 200));
    ASSERT_TRUE(bg.has_value());
    EXPECT_EQ(bg->Width(), 320u);
    EXPECT_EQ(bg->GetPixelColour(319, 239), 0x123456u);
    EXPECT_EQ(bg->GetPixelColour(0, 0), 0x090909u);
}

TEST(LiveBackgroundTest, NarrowPictureSitsInTheMiddleOfTheCanvas) {
    Bitmap live = Filled(180, 144, 7);
    auto bg = LiveBackground(live, 180, 144, Filled(240, 144, 255));
    ASSERT_TRUE(bg.has_value());
    EXPECT_EQ(bg->Width(), 240u);
    EXPECT_EQ(bg->GetPixelColour(29, 10), 0xFFFFFFu);   // kept border
    EXPECT_EQ(bg->GetPixelColour(30, 10), 0x070707u);   // first picture column
    EXPECT_EQ(bg->GetPixelColour(209, 143), 0x070707u); // last picture column
    EXPECT_EQ(bg->GetPixelColour(210, 0), 0xFFFFFFu);
}

TEST(LiveBackgroundTest, PicturesThatDoNotFitAreRefused) {
    // No picture (camera not streaming), another camera size, a canvas of
    // another height: the card keeps its background.
    EXPECT_FALSE(LiveBackground(Bitmap(), 320, 240, Filled(320, 240, 1)).has_value());
    EXPECT_FALSE(LiveBackground(Filled(180, 144, 1), 320, 240, Filled(320, 240, 1)).has_value());
    EXPECT_FALSE(LiveBackground(Filled(320, 240, 1), 180, 144, Filled(240, 144, 1)).has_value());
    EXPECT_FALSE(LiveBackground(Filled(180, 144, 1), 180, 144, Filled(240, 100, 1)).has_value());
}

} // namespace
} // namespace korvex
