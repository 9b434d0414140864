#include "model/CameraFollow.h"

#include "model/DetectorGeometry.h"
#include "support/EditState.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

// Two detectors on card 0 (one near the right edge), one on card 1.
class CameraFollow : public ::testing::Test {
protected:
    void SetUp() override {
        doc.New();
        DrawingSettings s;
        ASSERT_TRUE(AddDetector(doc, s, Point{100, 100}));
        ASSERT_TRUE(AddDetector(doc, s, Point{280, 20}));
        s.card = 1;
        ASSERT_TRUE(AddDetector(doc, s, Point{10, 10}));
        doc.SelectDetector(1);
        test::PushEdited(doc, [](RenderState& s) {
            s.detectors[0].exclusion.PaintBlack(101, 101);
            s.backgrounds[0].SetPixelColour(50, 60, 0x123456);
        });
    }
    Document doc;
};

TEST_F(CameraFollow, MovesTheCardsDetectorsAsOneStepClampedLikeADrag) {
    const RenderState before = doc.Current();
    const size_t states = doc.HistorySize();
    Bitmap seen(320, 240);
    seen.SetPixelColour(319, 239, 0x0000AA); // in the strip that comes into view
    seen.SetPixelColour(57, 57, 0x0000BB);   // where the old background is kept
    ASSERT_TRUE(FollowCamera(doc, 0, 7, -3, seen));
    EXPECT_EQ(doc.HistorySize(), states + 1);
    const RenderState& after = doc.Current();
    for (size_t k = 0; k < 4; ++k) {
        const Point was = before.detectors[0].points[k];
        EXPECT_EQ(after.detectors[0].points[k], (Point{was.x + 7, was.y - 3}));
        // The one at the right edge stops at the last column, corner by
        // corner, as a drag of the card would.
        const Point edge = before.detectors[1].points[k];
        EXPECT_EQ(after.detectors[1].points[k], ClampToPicture(after, {edge.x + 7, edge.y - 3}));
        EXPECT_EQ(after.detectors[2].points[k], before.detectors[2].points[k]);
    }
    EXPECT_FALSE(after.detectors[0].exclusion.IsBlack(101, 101));
    EXPECT_EQ(doc.SelectedIndex(), 1);
    // The background moved with them; the new strip comes from the picture.
    EXPECT_EQ(after.backgrounds[0].GetPixelColour(57, 57), 0x123456u);
    EXPECT_EQ(after.backgrounds[0].GetPixelColour(319, 239), 0x0000AAu);
    EXPECT_EQ(after.backgrounds[1], before.backgrounds[1]);
    // One undo brings every detector back.
    ASSERT_TRUE(Undo(doc));
    EXPECT_EQ(doc.Current().detectors[0].points, before.detectors[0].points);
    EXPECT_EQ(doc.Current().detectors[1].points, before.detectors[1].points);
    EXPECT_EQ(doc.Current().backgrounds[0], before.backgrounds[0]);
}

TEST_F(CameraFollow, RefusesWithoutChangingAnything) {
    const size_t states = doc.HistorySize();
    EXPECT_EQ(FollowCamera(doc, 0, 0, 0).refusal, EditRefusal::NoMovement);
    EXPECT_EQ(FollowCamera(doc, 9, 5, 5).refusal, EditRefusal::NoSuchCard);
    EXPECT_EQ(doc.HistorySize(), states);
}

TEST(CameraPicture, IsTheBackgroundCutToWhatTheCameraSees) {
    RenderState state = RenderState::NewProject();
    state.width = 180;
    state.height = 144;
    state.backgrounds.assign(2, Bitmap(240, 144));
    state.backgrounds[1].SetPixelColour(30, 0, 0x0000FF);    // first picture column
    state.backgrounds[1].SetPixelColour(209, 143, 0x00FF00); // last one
    state.backgrounds[1].SetPixelColour(29, 5, 0xFF0000);    // margin, not seen
    const Bitmap picture = CameraPictureOf(state, 1);
    ASSERT_EQ(picture.Width(), 180u);
    ASSERT_EQ(picture.Height(), 144u);
    EXPECT_EQ(picture.GetPixelColour(0, 0), 0x0000FFu);
    EXPECT_EQ(picture.GetPixelColour(179, 143), 0x00FF00u);
    EXPECT_EQ(picture.GetPixelColour(0, 5), 0xFFFFFFu);
    EXPECT_TRUE(CameraPictureOf(state, 2).Empty());
}

} // namespace
} // namespace korvex
