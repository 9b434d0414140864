#include "framework/ChangeFlags.h"
#include "framework/Trace.h"
#include "model/Document.h"

#include <gtest/gtest.h>

using namespace korvex;

namespace {

struct RecordingOwner : DocumentOwner {
    std::vector<std::string> events;
    void TitleChanged(const std::string& path) override { events.push_back("title:" + path); }
    void SelectDetector(int32_t index) override { events.push_back("select:" + std::to_string(index)); }
    void RefreshView() override { events.push_back("refresh"); }
    void ComposerStateChanged(RenderState&) override { events.push_back("composer"); }
};

// Gives each state a mark so the history order can be checked.
void Edit(Document& d, uint32_t mark) { d.NewRenderState().width = mark; }

} // namespace

TEST(Document, NewProjectState) {
    RecordingOwner owner;
    Document d(&owner);
    ChangeFlags::TakeAll();
    d.New();
    EXPECT_EQ(ChangeFlags::TakeAll(), ChangeFlags::DocumentChanged | ChangeFlags::LayoutChanged);
    EXPECT_EQ(d.HistorySize(), 1u);
    EXPECT_FALSE(d.Modified());
    EXPECT_FALSE(d.CanUndo());
    EXPECT_FALSE(d.CanRedo());
    EXPECT_EQ(owner.events, (std::vector<std::string>{"title:", "composer"}));
    const RenderState& s = d.Current();
    EXPECT_EQ(s.width, 320u);
    EXPECT_EQ(s.height, 240u);
    EXPECT_EQ(s.selected, -1);
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
    d.Current().detectors.emplace_back(1, 1, 0, 0, 1, 320, 240);
    ChangeFlags::TakeAll();
    RenderState& s = d.NewRenderState();
    EXPECT_EQ(ChangeFlags::TakeAll(), 0x5u);
    s.detectors[0].exclusion.PaintBlack(3, 3);
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
    ChangeFlags::TakeAll();
    Edit(d, 2000); // the 101st state drops the oldest
    EXPECT_EQ(ChangeFlags::TakeAll(), 0x5u) << "an edit on a full history still marks the document changed";
    EXPECT_EQ(d.HistorySize(), 100u);
    EXPECT_EQ(d.CurrentIndex(), 99);
    EXPECT_EQ(d.Current().width, 2000u);
    for (int i = 0; i < 99; ++i)
        d.Undo();
    EXPECT_EQ(d.Current().width, 1001u); // the new-project state is gone
    EXPECT_FALSE(d.CanUndo());
}

TEST(Document, UndoThenEditDiscardsTheRedoPart) {
    RecordingOwner owner;
    Document d(&owner);
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
    RecordingOwner owner;
    Document d(&owner);
    d.New();
    owner.events.clear();
    ChangeFlags::TakeAll();
    d.Undo();
    d.Redo();
    EXPECT_TRUE(owner.events.empty());
    EXPECT_EQ(ChangeFlags::TakeAll(), 0u);
    EXPECT_FALSE(d.Modified());
}

TEST(Document, SelectNotifiesTheViewAndTheComposer) {
    RecordingOwner owner;
    Document d(&owner);
    d.New();
    d.NewRenderState().selected = 7;
    owner.events.clear();
    ChangeFlags::TakeAll();
    d.Undo();
    EXPECT_EQ(owner.events, (std::vector<std::string>{"select:-1", "refresh", "composer"}));
    EXPECT_EQ(ChangeFlags::TakeAll() & 0x5u, 0x5u);
    owner.events.clear();
    d.Redo();
    EXPECT_EQ(owner.events.front(), "select:7");
}

TEST(Document, SavingClearsTheModifiedMarkOnce) {
    RecordingOwner owner;
    Document d(&owner);
    d.New();
    Edit(d, 5);
    ChangeFlags::TakeAll();
    d.MarkSaved("/tmp/a.kvx");
    EXPECT_FALSE(d.Modified());
    EXPECT_EQ(d.Path(), "/tmp/a.kvx");
    EXPECT_EQ(ChangeFlags::TakeAll(), ChangeFlags::DocumentChanged);
    d.MarkSaved("/tmp/a.kvx");
    EXPECT_EQ(ChangeFlags::TakeAll(), 0u);
    EXPECT_EQ(owner.events.back(), "title:/tmp/a.kvx");
}

TEST(Document, OpeningReplacesTheHistory) {
    Document d;
    d.New();
    Edit(d, 1);
    Edit(d, 2);
    RenderState loaded;
    loaded.width = 180;
    ChangeFlags::TakeAll();
    d.ReplaceWithLoaded(loaded, "x.kvx");
    EXPECT_EQ(ChangeFlags::TakeAll(), 0x9u);
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
    d.NewRenderState();
    SetTraceSink(previous);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Document::NewRenderState: ", 0), 0u);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 3), "ms\n");
}
