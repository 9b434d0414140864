#include "model/Document.h"

#include "framework/Trace.h"

#include <functional>
#include <gtest/gtest.h>

using namespace korvex;

namespace {

constexpr uint32_t Content = DocumentChange::Content, Chosen = DocumentChange::Selection,
                   Layout = DocumentChange::Layout, Path = DocumentChange::Path;

// What the document has marked since the last delivery, delivered now.
uint32_t Take(Document& d) {
    uint32_t seen = 0;
    auto s = d.Subscribe([&](uint32_t bits) { seen |= bits; });
    d.DeliverChanges();
    return seen;
}

// Gives each state a mark so the history order can be checked.
void Edit(Document& d, uint32_t mark) {
    RenderState next = d.Current();
    next.width = mark;
    d.NewRenderState(std::move(next));
}

} // namespace

TEST(Document, NewProjectState) {
    Document d;
    d.New();
    EXPECT_EQ(Take(d), Content | Layout | Path);
    EXPECT_EQ(d.HistorySize(), 1u);
    EXPECT_FALSE(d.Modified());
    EXPECT_FALSE(d.CanUndo());
    EXPECT_FALSE(d.CanRedo());
    const RenderState& s = d.Current();
    EXPECT_EQ(s.width, 320u);
    EXPECT_EQ(s.height, 240u);
    EXPECT_EQ(d.SelectedIndex(), -1);
    EXPECT_EQ(d.ComposerPath(), "");
    ASSERT_EQ(s.backgrounds.size(), 4u);
    EXPECT_EQ(s.backgrounds[3].Width(), 320u);
    EXPECT_EQ(s.composer_y.size(), 24u);
    EXPECT_EQ(s.composer_a.size(), 4u);
    ASSERT_EQ(s.composer_z.size(), 64u);
    EXPECT_EQ(s.composer_z[0].kind, uint32_t(ComposerItem::Empty));
    EXPECT_EQ(s.composer_y[0].kind, uint32_t(ComposerItem::One));
}

TEST(Document, EditsPushDeepCopiesAndMarkTheFlags) {
    Document d;
    d.New();
    RenderState first = d.Current();
    first.detectors.emplace_back(1, 1, 0, 0, 1, 320, 240);
    d.NewRenderState(std::move(first));
    Take(d);
    RenderState s = d.Current();
    s.detectors[0].exclusion.PaintBlack(3, 3);
    d.NewRenderState(std::move(s));
    EXPECT_EQ(Take(d), Content | Chosen);
    EXPECT_TRUE(d.Current().detectors[0].exclusion.IsBlack(3, 3));
    d.Undo();
    EXPECT_FALSE(d.Current().detectors[0].exclusion.IsBlack(3, 3)) << "the copy shared its exclusion map";
    EXPECT_TRUE(d.Modified());
}

TEST(Document, HistoryKeepsTheNewestHundredStates) {
    Document d;
    d.New();
    for (uint32_t i = 1; i <= 99; ++i)
        Edit(d, 1000 + i);
    EXPECT_EQ(d.HistorySize(), 100u);
    EXPECT_EQ(d.CurrentIndex(), 99);
    Take(d);
    Edit(d, 2000); // the 101st state drops the oldest
    EXPECT_EQ(Take(d), Content | Chosen) << "an edit on a full history still announces itself";
    EXPECT_EQ(d.HistorySize(), 100u);
    EXPECT_EQ(d.CurrentIndex(), 99);
    EXPECT_EQ(d.Current().width, 2000u);
    for (int i = 0; i < 99; ++i)
        d.Undo();
    EXPECT_EQ(d.Current().width, 1001u); // the new-project state is gone
    EXPECT_FALSE(d.CanUndo());
}

TEST(Document, UndoThenEditDiscardsTheRedoPart) {
    Document d;
    d.New();
    Edit(d, 1);
    Edit(d, 2);
    Edit(d, 3);
    d.Undo();
    d.Undo();
    EXPECT_TRUE(d.CanRedo());
    EXPECT_EQ(d.Current().width, 1u);
    Edit(d, 4);
    EXPECT_FALSE(d.CanRedo());
    EXPECT_EQ(d.HistorySize(), 3u);
    d.Undo();
    EXPECT_EQ(d.Current().width, 1u);
    d.Redo();
    EXPECT_EQ(d.Current().width, 4u);
}

TEST(Document, UndoAtTheStartAndRedoAtTheEndChangeNothing) {
    Document d;
    d.New();
    Take(d);
    d.Undo();
    d.Redo();
    EXPECT_EQ(d.PendingChanges(), 0u);
    EXPECT_FALSE(d.Modified());
}

// Subscribers are told after the change is complete, once per delivery
// however many changes were made: a subscriber reading the document when
// told sees the last of them.
TEST(Document, SubscribersHearOfABatchOnceAndAfterTheCommit) {
    Document d;
    d.New();
    Take(d);
    std::vector<std::pair<uint32_t, uint32_t>> heard; // bits, width seen
    auto subscription = d.Subscribe([&](uint32_t bits) { heard.emplace_back(bits, d.Current().width); });
    Edit(d, 7);
    EXPECT_TRUE(heard.empty()) << "nobody is called while the edit is made";
    Edit(d, 8);
    d.Undo();
    d.DeliverChanges();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], std::make_pair(Content | Chosen, 7u));
    d.DeliverChanges();
    EXPECT_EQ(heard.size(), 1u) << "nothing new, nothing told";
    subscription.Reset();
    d.Redo();
    d.DeliverChanges();
    EXPECT_EQ(heard.size(), 1u) << "an ended subscription is not called";
}

TEST(Document, TwoDocumentsDoNotHearEachOther) {
    Document a, b;
    a.New();
    b.New();
    int heardA = 0, heardB = 0;
    auto sa = a.Subscribe([&](uint32_t) { ++heardA; });
    auto sb = b.Subscribe([&](uint32_t) { ++heardB; });
    a.DeliverChanges();
    b.DeliverChanges();
    heardA = heardB = 0;
    Edit(a, 5);
    EXPECT_EQ(b.PendingChanges(), 0u);
    a.DeliverChanges();
    b.DeliverChanges();
    EXPECT_EQ(heardA, 1);
    EXPECT_EQ(heardB, 0);
}

TEST(Document, SavingClearsTheModifiedMarkOnce) {
    Document d;
    d.New();
    Edit(d, 5);
    Take(d);
    d.MarkSaved("/tmp/a.kvx");
    EXPECT_FALSE(d.Modified());
    EXPECT_EQ(d.Path(), "/tmp/a.kvx");
    EXPECT_EQ(Take(d), Content | Path);
    d.MarkSaved("/tmp/a.kvx");
    EXPECT_EQ(Take(d), Path) << "saving an unmodified project names its file but changes nothing else";
}

TEST(Document, OpeningReplacesTheHistory) {
    Document d;
    d.New();
    Edit(d, 1);
    Edit(d, 2);
    RenderState loaded;
    loaded.width = 180;
    Take(d);
    d.ReplaceWithLoaded(loaded, "x.kvx");
    EXPECT_EQ(Take(d), Content | Layout | Path | Chosen) << "the position in the history moved";
    EXPECT_EQ(d.HistorySize(), 1u);
    EXPECT_EQ(d.Current().width, 180u);
    EXPECT_FALSE(d.Modified());
    EXPECT_EQ(d.Path(), "x.kvx");
}

TEST(Document, NewRenderStateWritesItsTimingTrace) {
    std::vector<std::string> lines;
    auto previous = SetTraceSink([&](const std::string& l) { lines.push_back(l); });
    Document d;
    d.New();
    d.NewRenderState(d.Current());
    SetTraceSink(previous);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Document::NewRenderState: ", 0), 0u);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 3), "ms\n");
}

namespace {

// A deep copy of every state of the history, oldest first; the document is
// left at the state it was at.
std::vector<RenderState> Stored(Document& d) {
    const int32_t at = d.CurrentIndex();
    std::vector<RenderState> states;
    for (int32_t i = 0; i < static_cast<int32_t>(d.HistorySize()); ++i)
        states.push_back(d.Select(i));
    d.Select(at);
    return states;
}

// A new project with two pushed states of two detectors each, the second
// with detector 1 and output row 2 chosen.
void TwoDetectorStates(Document& d) {
    d.New();
    RenderState next = d.Current();
    next.detectors.emplace_back(1, 1, 0, 0, 1, 320, 240);
    next.detectors.emplace_back(1, 1, 0, 1, 2, 320, 240);
    d.NewRenderState(next);
    next.detectors[0].exclusion.PaintBlack(5, 5);
    d.NewRenderState(next, {1, "Y2X"});
}

} // namespace

TEST(Document, ChoosingChangesNoStoredState) {
    Document d;
    TwoDetectorStates(d);
    const std::vector<RenderState> before = Stored(d);
    const size_t size = d.HistorySize();
    const uint64_t edits = d.Edits();
    Take(d);

    d.SelectDetector(0);
    d.SelectComposerItem("Z3AX");
    EXPECT_EQ(Take(d), Chosen) << "choosing is announced as a selection change only";
    EXPECT_EQ(d.SelectedIndex(), 0);
    EXPECT_EQ(d.ComposerPath(), "Z3AX");
    EXPECT_EQ(d.SelectedDetector(), &d.Current().detectors[0]);
    EXPECT_EQ(d.HistorySize(), size);
    EXPECT_EQ(d.Edits(), edits);
    EXPECT_EQ(d.CurrentIndex(), 2);
    EXPECT_TRUE(Stored(d) == before) << "a stored state changed";

    // Choosing what is already chosen announces nothing; an index past the
    // detectors chooses no detector.
    Take(d);
    d.SelectDetector(0);
    d.SelectComposerItem("Z3AX");
    EXPECT_EQ(Take(d), 0u);
    d.SelectDetector(7);
    EXPECT_EQ(d.SelectedDetector(), nullptr);
}

TEST(Document, UndoRestoresTheStatePushedAndTheSelectionItWasLeftWith) {
    Document d;
    TwoDetectorStates(d);
    const RenderState second = d.Current();
    d.SelectDetector(0); // chosen after the push: the state stays as pushed
    RenderState third = d.Current();
    third.detectors.pop_back();
    d.NewRenderState(third, {-1, ""});
    EXPECT_EQ(d.SelectedIndex(), -1);

    d.Undo();
    EXPECT_TRUE(d.Current() == second);
    EXPECT_EQ(d.SelectedIndex(), 0) << "the selection the state was left with";
    EXPECT_EQ(d.ComposerPath(), "Y2X");
    d.SelectComposerItem("Y0X");
    d.Undo();
    EXPECT_EQ(d.Current().detectors.size(), 2u);
    EXPECT_FALSE(d.Current().detectors[0].exclusion.IsBlack(5, 5));
    EXPECT_EQ(d.SelectedIndex(), -1) << "the state before was left with none chosen";
    d.Redo();
    EXPECT_TRUE(d.Current() == second);
    EXPECT_EQ(d.ComposerPath(), "Y0X");
    d.Redo();
    EXPECT_TRUE(d.Current() == third);
    EXPECT_EQ(d.SelectedIndex(), -1);

    // A new project or an opened one starts with nothing chosen.
    d.SelectDetector(0);
    d.ReplaceWithLoaded(RenderState::NewProject(), "x.kvx");
    EXPECT_EQ(d.SelectedIndex(), -1);
    EXPECT_EQ(d.ComposerPath(), "");
}

// Modified means "differs from the state the file holds": undo and redo
// back to that state clear it, and once that state has left the history
// (a dropped redo part, the oldest state cut off) nothing clears it.
TEST(Document, ModifiedFollowsTheSavedState) {
    struct Step {
        const char* what;
        std::function<void(Document&)> act;
        bool modified;
    };
    const Step steps[] = {
        {"saved", [](Document& d) { d.MarkSaved("a.kvx"); }, false},
        {"an edit", [](Document& d) { Edit(d, 1); }, true},
        {"undo to the saved state", [](Document& d) { d.Undo(); }, false},
        {"redo", [](Document& d) { d.Redo(); }, true},
        {"saved again", [](Document& d) { d.MarkSaved("a.kvx"); }, false},
        {"undo before it", [](Document& d) { d.Undo(); }, true},
        {"an edit drops the saved state", [](Document& d) { Edit(d, 2); }, true},
        {"undo to where it was", [](Document& d) { d.Undo(); }, true},
        {"saved, then the history overflows",
         [](Document& d) {
             d.MarkSaved("a.kvx");
             for (uint32_t i = 0; i < Document::MaxHistory; ++i)
                 Edit(d, 100 + i);
         },
         true},
        {"undo as far as it goes",
         [](Document& d) {
             while (d.CanUndo())
                 d.Undo();
         },
         true},
    };
    Document d;
    d.New();
    Edit(d, 0);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act(d);
        EXPECT_EQ(d.Modified(), step.modified);
    }
}
