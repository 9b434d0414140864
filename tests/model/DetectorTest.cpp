#include "model/DetectorTools.h"

#include <gtest/gtest.h>

using namespace korvex;

namespace {
void AddNumbered(RenderState& s, uint32_t card, uint32_t number) {
    Detector d(1, 1, 0, card, number, s.CanvasWidth(), s.CanvasHeight());
    s.detectors.push_back(d);
}
} // namespace

TEST(Detector, DefaultsAndBounds) {
    Detector d(2, 3, 0, 1, 4, 240, 144);
    EXPECT_EQ(d.divisions, 2u);
    EXPECT_EQ(d.pen_width, 3u);
    EXPECT_EQ(d.card, 1u);
    EXPECT_EQ(d.number, 4u);
    EXPECT_EQ(d.feature_threshold, 880u);
    EXPECT_EQ(d.threshold, 3u);
    EXPECT_EQ(d.exclusion.Width(), 240u);
    EXPECT_EQ(d.Bounds(), (Rect{40, 40, 80, 80}));
    d.line = 1;
    EXPECT_EQ(d.Bounds(), (Rect{50, 40, 70, 40})) << "a line's bounds ignore P2 and P3";
}

TEST(Detector, BoundsHoldForAnyCoordinates) {
    // Files may hold corners beyond 1000 or entirely negative; the bounds are
    // the corners' own extremes, for lines over P0 and P1 only.
    Detector d;
    d.line = 1;
    d.points = {{{1200, 1300}, {1100, 1250}, {0, 0}, {0, 0}}};
    EXPECT_EQ(d.Bounds(), (Rect{1100, 1250, 1200, 1300}));
    d.line = 0;
    d.points = {{{-50, -40}, {-10, -45}, {-20, -5}, {-60, -8}}};
    EXPECT_EQ(d.Bounds(), (Rect{-60, -45, -10, -5}));
    d.points = {{{INT32_MIN, 7}, {INT32_MAX, 7}, {3, INT32_MIN}, {3, INT32_MAX}}};
    EXPECT_EQ(d.Bounds(), (Rect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}));
}

TEST(DetectorTools, NumberingPerCard) {
    Document doc;
    doc.New();
    RenderState s = doc.Current();
    AddNumbered(s, 0, 1);
    AddNumbered(s, 0, 2);
    AddNumbered(s, 0, 5);
    AddNumbered(s, 1, 1);
    EXPECT_EQ(NextDetectorNumber(s, 0), 6u);
    EXPECT_EQ(NextDetectorNumber(s, 1), 2u);
    EXPECT_EQ(NextDetectorNumber(s, 2), 1u);
    AddNumbered(s, 3, 0);
    EXPECT_EQ(NextDetectorNumber(s, 3), 1u);
    doc.NewRenderState(std::move(s));

    DrawingSettings settings;
    settings.card = 1;
    size_t before = doc.HistorySize();
    int32_t index = AddDetector(doc, settings).index;
    EXPECT_EQ(doc.HistorySize(), before + 1);
    EXPECT_EQ(doc.SelectedIndex(), index);
    EXPECT_EQ(doc.Current().detectors[size_t(index)].number, 2u);
    EXPECT_EQ(doc.Current().detectors[size_t(index)].card, 1u);
}

TEST(DetectorTools, PlacingClampsToTheCameraPicture) {
    Document doc;
    doc.New();
    RenderState narrow = doc.Current();
    narrow.width = 180;
    narrow.height = 144;
    doc.NewRenderState(narrow);
    DrawingSettings settings;
    for (Point at : {Point{0, 0}, Point{230, 140}, Point{-50, -50}, Point{200, 100}}) {
        int32_t i = AddDetector(doc, settings, at).index;
        const Detector& d = doc.Current().detectors[size_t(i)];
        for (const Point& p : d.points) {
            EXPECT_GE(p.x, 30);
            EXPECT_LE(p.x, 209);
            EXPECT_GE(p.y, 0);
            EXPECT_LE(p.y, 143);
        }
    }
    // Unclamped placement moves the bounds' corner to the point.
    int32_t i = AddDetector(doc, settings, Point{100, 50}).index;
    EXPECT_EQ(doc.Current().detectors[size_t(i)].Bounds(), (Rect{100, 50, 140, 90}));

    // A 192-wide picture lies at columns 24..215 of its canvas, where the
    // bitmap loader puts it.
    RenderState mid = doc.Current();
    mid.width = 192;
    doc.NewRenderState(mid);
    EXPECT_EQ(ClampToPicture(doc.Current(), {0, 0}), (Point{24, 0}));
    EXPECT_EQ(ClampToPicture(doc.Current(), {239, 200}), (Point{215, 143}));
    EXPECT_EQ(ClampToPicture(doc.Current(), {100, 10}), (Point{100, 10}));

    Document wide;
    wide.New();
    i = AddDetector(wide, settings, Point{300, 230}).index;
    Rect b = wide.Current().detectors[size_t(i)].Bounds();
    EXPECT_EQ(b.right, 319);
    EXPECT_EQ(b.bottom, 239);
    EXPECT_EQ(b.left, 300);
}

TEST(DetectorTools, PresetsChangeTheSelectionOrTheNextDetector) {
    Document doc;
    doc.New();
    DrawingSettings settings;
    EXPECT_FALSE(ApplyPenWidth(doc, settings, 3));
    EXPECT_EQ(settings.pen_width, 3u);
    EXPECT_FALSE(ApplyFillDivisions(doc, settings, 20, 0));
    EXPECT_EQ(settings.fill, 20);
    EXPECT_EQ(settings.divisions, 0u);
    EXPECT_EQ(doc.HistorySize(), 1u);

    AddDetector(doc, settings);
    size_t size = doc.HistorySize();
    EXPECT_FALSE(ApplyPenWidth(doc, settings, 3)) << "same value: nothing happens";
    EXPECT_EQ(doc.HistorySize(), size);
    EXPECT_TRUE(ApplyPenWidth(doc, settings, 4));
    EXPECT_EQ(doc.SelectedDetector()->pen_width, 4u);
    EXPECT_EQ(doc.HistorySize(), size + 1);
    EXPECT_TRUE(ApplyFillDivisions(doc, settings, 0, 3));
    EXPECT_FALSE(ApplyFillDivisions(doc, settings, 0, 3));
    EXPECT_EQ(doc.SelectedDetector()->divisions, 3u);
    doc.Undo();
    EXPECT_EQ(doc.SelectedDetector()->divisions, 0u);
}

TEST(RenderState, BackgroundsAndComposerSelection) {
    RenderState s;
    EXPECT_EQ(s.width, 180u);
    EXPECT_EQ(s.CanvasWidth(), 240u);
    s.EnsureBackgrounds(3);
    ASSERT_EQ(s.backgrounds.size(), 3u);
    EXPECT_EQ(s.backgrounds[2].Width(), 240u);
    s.EnsureBackgrounds(1);
    EXPECT_EQ(s.backgrounds.size(), 1u);

    RenderState p = RenderState::NewProject();
    EXPECT_EQ(RenderState::ComposerGroup("Y2BAX"), 4u);
    EXPECT_EQ(p.ComposerRowItem("Y2BAX"), &p.composer_y[2]);
    EXPECT_EQ(RenderState::ComposerGroup("Z;X"), 8u); // ';' is '0' + 11
    EXPECT_EQ(p.ComposerRowItem("Z;X"), &p.composer_z[11]);
    EXPECT_EQ(RenderState::ComposerGroup("CbX"), 13u);
    EXPECT_EQ(p.ComposerRowItem("CbX"), &p.composer_a[1]);
    EXPECT_EQ(p.ComposerRowItem("Y~X"), nullptr);
    EXPECT_EQ(p.ComposerRowItem(""), nullptr);
    EXPECT_EQ(p.DetectorAt(0), nullptr);
}
