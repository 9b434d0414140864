#include "model/DetectorEdits.h"
#include "model/Document.h"

#include <gtest/gtest.h>
#include <vector>

using namespace korvex;

namespace {

// Four cameras with a grain each, three detectors of camera A with a few
// erased pixels each, detector 1 selected.
void Load(Document& document) {
    RenderState s = RenderState::NewProject();
    for (uint32_t card = 0; card < 4; ++card)
        s.backgrounds[card].SetPixelColour(card, card, 0x404040);
    for (uint32_t n = 1; n <= 3; ++n) {
        Detector d(1, 1, 0, 0, n, s.CanvasWidth(), s.CanvasHeight());
        d.exclusion.PaintBlack(60, 50 + n);
        s.detectors.push_back(d);
    }
    document.ReplaceWithLoaded(std::move(s), "");
    document.SelectDetector(1);
}

std::vector<const void*> Buffers(const RenderState& s) {
    std::vector<const void*> buffers;
    for (const Bitmap& b : s.backgrounds)
        buffers.push_back(b.PixelBuffer());
    for (const Detector& d : s.detectors)
        buffers.push_back(d.exclusion.PixelBuffer());
    return buffers;
}

} // namespace

// An edit of one detector's pictures makes a new buffer for that picture
// only; the new state shares every other one with the state before it, and
// undo and redo give back the very buffers of the state they return to.
TEST(SharedPictures, AnEditReplacesOnlyThePictureItChanges) {
    struct Case {
        const char* name;
        EditResult (*edit)(Document&);
        size_t changed; // index into Buffers(): 4 backgrounds, then detectors
    };
    const Case cases[] = {
        {"erase",
         [](Document& d) {
             return EraseAround(d, {{90, 60}}, 1);
         },
         5},
        {"move corner", [](Document& d) { return MoveCorner(d, 2, 3, 4); }, 5},
        {"background", [](Document& d) { return SetBackground(d, 2, Bitmap(320, 240)); }, 2},
        {"angle", [](Document& d) { return SetAngle(d, 90); }, size_t(-1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Document document;
        Load(document);
        const std::vector<const void*> before = Buffers(document.Current());
        const RenderState saved = document.Current();
        ASSERT_TRUE(c.edit(document));
        const std::vector<const void*> after = Buffers(document.Current());
        for (size_t i = 0; i < before.size(); ++i)
            EXPECT_EQ(after[i] != before[i], i == c.changed) << "picture " << i;

        ASSERT_TRUE(Undo(document));
        EXPECT_EQ(Buffers(document.Current()), before);
        EXPECT_EQ(document.Current(), saved);
        ASSERT_TRUE(Redo(document));
        EXPECT_EQ(Buffers(document.Current()), after);
    }
}

// Writing a picture of a copied state never reaches the state it was
// copied from, nor the history.
TEST(SharedPictures, AChangedCopyLeavesTheHistoryAlone) {
    Document document;
    Load(document);
    const RenderState saved = document.Current();
    RenderState next = document.Current();
    next.detectors[0].exclusion.PaintBlack(10, 10);
    next.backgrounds[3].FillWhite();
    EXPECT_EQ(document.Current(), saved);
    document.NewRenderState(std::move(next));
    ASSERT_TRUE(Undo(document));
    EXPECT_FALSE(document.Current().detectors[0].exclusion.IsBlack(10, 10));
    EXPECT_EQ(document.Current(), saved);
}
