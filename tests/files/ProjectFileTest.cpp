#include "files/ProjectFile.h"

#include "composer/Composer.h"
#include "files/Chunk.h"
#include "files/ConfigPackage.h"
#include "framework/AtomicFile.h"
#include "framework/BinaryFile.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "support/TempDir.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

using namespace korvex;
namespace fs = std::filesystem;

namespace {

using korvex::test::TempDir;

std::vector<uint8_t> Slurp(const std::string& path) {
    return BinaryFile::ReadAll(path);
}

std::optional<RenderState> Parse(const std::vector<uint8_t>& bytes) {
    return ParseProject(bytes.data(), bytes.size());
}

// Builders for hand-made files.
std::vector<uint8_t> Chunk(uint32_t type, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out;
    AppendChunk(out, type, payload);
    return out;
}
std::vector<uint8_t> U32s(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> out;
    for (uint32_t v : values)
        AppendLe32(out, v);
    return out;
}
std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> Params(uint32_t card = 0, uint32_t number = 1, uint32_t feature = 880,
                            uint32_t angle = 0, uint32_t fill = 0, uint32_t pen = 1) {
    return Chunk(3,
                 U32s({50, 40, 70, 40, 80, 80, 40, 80, 1, pen, 0, 0, card, number, feature, 0, angle, fill}));
}

std::vector<uint8_t> StateWith(const std::vector<uint8_t>& detectorPayload, uint32_t width = 180) {
    std::vector<uint8_t> size = width == 320 ? Chunk(16, U32s({320, 240})) : Chunk(6, U32s({width}));
    return Chunk(2, size + Chunk(1, detectorPayload));
}

ComposerItem RandomItem(std::mt19937& rng, int depth) {
    std::uniform_int_distribution<int> pick(0, 19);
    uint32_t kind = uint32_t(pick(rng));
    if (depth > 3 && (kind == 5 || kind == 6 || kind == 7 || kind == 12))
        kind = 0;
    ComposerItem item(kind);
    bool stored = kind == 2 || kind == 3 || kind == 4 || kind == 8 || kind == 9 || kind == 10 || kind >= 13;
    if (kind == ComposerItem::Blur || kind == ComposerItem::Blank)
        item.number = int32_t(rng() % 8);
    else if (stored)
        item.number = int32_t(rng() % 40);
    if (kind == 5 || kind == 6 || kind == 7 || kind == 12)
        item.children = {RandomItem(rng, depth + 1), RandomItem(rng, depth + 1)};
    return item;
}

RenderState RandomState(std::mt19937& rng, uint32_t width) {
    RenderState s;
    s.width = width;
    s.height = width == 320 ? 240 : 144;
    s.EnsureBackgrounds(1 + rng() % 8);
    for (Bitmap& b : s.backgrounds) {
        for (uint32_t y = 0; y < b.Height(); y += 1 + rng() % 7)
            for (uint32_t x = 0; x < b.Width(); x += 1 + rng() % 9) {
                uint32_t c = rng() & 0xFFFFFF;
                if (width != 320) {
                    // Saved grey: only a grey value that survives (B+G+R)/3.
                    uint32_t g = c & 0xFF;
                    c = g | g << 8 | g << 16;
                    if (x < 30 || x >= 210)
                        continue; // margins are not stored
                }
                b.SetPixelColour(x, y, c);
            }
    }
    size_t n = rng() % 6;
    for (size_t i = 0; i < n; ++i) {
        Detector d(rng() % 7, 1 + rng() % 9, rng() % 2, uint32_t(rng() % s.backgrounds.size()), rng() % 40,
                   s.CanvasWidth(), s.CanvasHeight());
        for (Point& p : d.points)
            p = {int32_t(rng() % s.CanvasWidth()), int32_t(rng() % s.height)};
        d.fill = int32_t(rng() % 101);
        d.delay = uint32_t(rng() % 1000) * 100;
        d.extend = uint32_t(rng() % 1000) * 100;
        d.contrast = rng() % 2;
        d.directional = rng() % 2;
        d.feature_threshold = rng() % 1000;
        d.angle = rng() % 360;
        d.threshold = rng();
        for (int k = 0; k < 50; ++k) {
            uint32_t x = rng() % s.CanvasWidth(), y = rng() % s.height;
            if (width == 180 && (x < 30 || x >= 210))
                continue; // outside the picture of a 180-wide state
            d.exclusion.PaintBlack(x, y);
        }
        s.detectors.push_back(std::move(d));
    }
    s.composer_y.resize(width == 320 ? 24 : 8);
    s.composer_z.assign(64, ComposerItem(ComposerItem::Empty));
    s.composer_a.resize(1 + rng() % 8);
    for (auto* list : {&s.composer_y, &s.composer_z, &s.composer_a})
        for (ComposerItem& item : *list)
            if (rng() % 3 == 0)
                item = RandomItem(rng, 0);
    return s;
}

} // namespace

TEST(ProjectFile, RandomisedSaveOpenRoundTrip) {
    TempDir dir;
    std::mt19937 rng(20261207);
    for (int round = 0; round < 24; ++round) {
        const uint32_t widths[] = {180, 320, 192, 240};
        uint32_t width = widths[round % 4];
        RenderState s = RandomState(rng, width);
        Document doc;
        doc.New();
        doc.NewRenderState(s);
        std::string name = "r";
        name += std::to_string(round);
        std::string path = dir.File(name + ".kvx");
        SaveProject(doc, path);
        EXPECT_EQ(doc.Path(), path);
        EXPECT_FALSE(doc.Modified());

        Document other;
        other.New();
        OpenProject(other, path);
        ASSERT_EQ(other.HistorySize(), 1u);
        EXPECT_EQ(other.Path(), path);
        EXPECT_FALSE(other.Modified());
        EXPECT_TRUE(other.Current() == s) << "round " << round << " width " << width;
        // Saving the loaded state again gives the same bytes.
        EXPECT_EQ(ProjectFileBytes(other.Current(), path), Slurp(path));
    }
}

TEST(ProjectFile, WriterLayout) {
    RenderState s = RenderState::NewProject();
    Detector d(1, 2, 0, 0, 7, 320, 240);
    d.exclusion.PaintBlack(300, 200);
    d.exclusion.PaintBlack(5, 1);
    d.exclusion.SetPixelColour(4, 1, 0x0000FF); // zero bytes, but not black: not stored
    d.exclusion.SetPixelColour(319, 1, 0xFF0000);
    s.detectors.push_back(d);
    std::vector<uint8_t> f = ProjectFileBytes(s, "p.kvx");
    // Top level: 2, 7, 11 and nothing else.
    ChunkReader top(f.data(), f.size());
    ChunkReader::Chunk c, state, sub;
    std::vector<uint32_t> types;
    while (top.Next(c)) {
        types.push_back(c.type);
        if (c.type == 2)
            state = c;
    }
    EXPECT_FALSE(top.CutShort());
    EXPECT_EQ(types, (std::vector<uint32_t>{2, 7, 11}));
    // Size first: sub-chunk 16 of length 16.
    EXPECT_EQ(std::vector<uint8_t>(state.payload, state.payload + 16), U32s({16, 16, 320, 240}));
    ChunkReader inner(state.payload + 16, state.size - 16);
    ASSERT_TRUE(inner.Next(sub));
    EXPECT_EQ(sub.type, 1u);
    ChunkReader det(sub.payload, sub.size);
    std::vector<uint32_t> order;
    ChunkReader::Chunk dc;
    while (det.Next(dc)) {
        order.push_back(dc.type);
        if (dc.type == 4) { // format 1, pixels top to bottom: (5, 1) then (300, 200)
            EXPECT_EQ(std::vector<uint8_t>(dc.payload, dc.payload + dc.size),
                      (std::vector<uint8_t>{1, 0, 0, 0, 5, 0, 1, 44, 1, 200}));
        }
        if (dc.type == 3) {
            EXPECT_EQ(dc.size, 72u);
        }
    }
    EXPECT_EQ(order, (std::vector<uint32_t>{3, 10, 15, 4}));
    // Four colour backgrounds follow, cards 0..3.
    for (uint32_t card = 0; card < 4; ++card) {
        ASSERT_TRUE(inner.Next(sub));
        EXPECT_EQ(sub.type, 5u);
        EXPECT_EQ(sub.size, 4u + 16 + 320 * 240 * 3);
        EXPECT_EQ(std::vector<uint8_t>(sub.payload, sub.payload + 20), U32s({card, 320, 240, 3, 1}));
    }

    // A 180-wide state: sub-chunk 6, format-0 exclusion, grey backgrounds.
    RenderState g;
    g.EnsureBackgrounds(1);
    g.backgrounds[0].SetPixelColour(30, 0, 0x0A1420); // R 0x20, G 0x14, B 0x0A -> grey 20
    Detector e(1, 1, 0, 0, 1, 240, 144);
    e.exclusion.PaintBlack(31, 2);
    e.exclusion.PaintBlack(5, 5); // margin: not stored
    e.exclusion.SetPixelColour(30, 2, 0x00FF00);
    g.detectors.push_back(e);
    std::vector<uint8_t> payload = RenderStatePayload(g);
    EXPECT_EQ(std::vector<uint8_t>(payload.begin(), payload.begin() + 12), U32s({6, 12, 180}));
    ChunkReader r(payload.data() + 12, payload.size() - 12);
    ASSERT_TRUE(r.Next(sub));
    ChunkReader dr(sub.payload, sub.size);
    while (dr.Next(dc))
        if (dc.type == 4) {
            EXPECT_EQ(std::vector<uint8_t>(dc.payload, dc.payload + dc.size),
                      (std::vector<uint8_t>{0, 0, 0, 0, 1, 2}));
        }
    ASSERT_TRUE(r.Next(sub));
    EXPECT_EQ(sub.size, 4u + 16 + 180 * 144);
    EXPECT_EQ(std::vector<uint8_t>(sub.payload, sub.payload + 20), U32s({0, 180, 144, 1, 0}));
    EXPECT_EQ(sub.payload[20], (0x20 + 0x14 + 0x0A) / 3);
    EXPECT_EQ(sub.payload[21], 255);
}

TEST(ProjectFile, ComposerListsLayout) {
    RenderState s = RenderState::NewProject();
    std::vector<uint8_t> p = ComposerListsPayload(s);
    // 24 Y rows (group 4, from 1), 64 Z rows (group 8, from 1), 4 card rows
    // (group 13, from 0), each a 36-byte sub-chunk with a 20-byte record.
    ASSERT_EQ(p.size(), (24u + 64 + 4) * 36);
    EXPECT_EQ(std::vector<uint8_t>(p.begin(), p.begin() + 16), U32s({8, 36, 4, 1}));
    EXPECT_EQ(std::vector<uint8_t>(p.begin() + 24 * 36, p.begin() + 24 * 36 + 16), U32s({8, 36, 8, 1}));
    EXPECT_EQ(std::vector<uint8_t>(p.begin() + 88 * 36, p.begin() + 88 * 36 + 16), U32s({8, 36, 13, 0}));
    EXPECT_EQ(ReadLe32(&p[88 * 36 + 16 + 8]), 1u); // kind One
}

TEST(ProjectFile, LoadFailures) {
    auto ok = [](const std::vector<uint8_t>& f) { return Parse(f).has_value(); };
    EXPECT_FALSE(ok({}));
    EXPECT_FALSE(ok(Chunk(11, {1, 2, 3})));
    EXPECT_TRUE(ok(StateWith(Params())));
    EXPECT_TRUE(ok(StateWith(Params(7, 1, 999, 359, 100))));
    EXPECT_FALSE(ok(StateWith(Params(0, 1, 880, 360))));
    EXPECT_FALSE(ok(StateWith(Params(8))));
    EXPECT_FALSE(ok(StateWith(Params(0, 1, 1000))));
    EXPECT_FALSE(ok(StateWith(Params(0, 1, 880, 0, 101))));
    EXPECT_FALSE(ok(StateWith(Params(0, 1, 880, 0, uint32_t(-1)))));
    auto nine = Parse(StateWith(Params(0, 1, 880, 0, 0, 9)));
    ASSERT_TRUE(nine);
    EXPECT_EQ(nine->detectors[0].pen_width, 9u);
    // Short parameter, threshold and time records.
    EXPECT_FALSE(ok(StateWith(Chunk(3, U32s({1, 2, 3})))));
    EXPECT_FALSE(ok(StateWith(Chunk(10, {1, 2}))));
    EXPECT_FALSE(ok(StateWith(Chunk(15, U32s({1})))));
    // Size records.
    EXPECT_FALSE(ok(Chunk(2, Chunk(6, U32s({320})))));
    EXPECT_FALSE(ok(Chunk(2, Chunk(6, {}))));
    EXPECT_FALSE(ok(Chunk(2, Chunk(16, U32s({320, 144})))));
    for (uint32_t w : {192u, 240u}) {
        auto s = Parse(Chunk(2, Chunk(6, U32s({w}))));
        ASSERT_TRUE(s);
        EXPECT_EQ(s->width, w);
        EXPECT_EQ(s->height, 144u);
    }
    // Composer records: kind 20, child count 1, bad groups and indexes.
    auto withItem = [](uint32_t group, uint32_t index, std::vector<uint8_t> record) {
        return Chunk(2, Chunk(6, U32s({180}))) + Chunk(7, Chunk(8, U32s({group, index}) + record));
    };
    EXPECT_TRUE(ok(withItem(4, 8, U32s({9, 20, 1, 0, 0}))));
    EXPECT_FALSE(ok(withItem(4, 9, U32s({9, 20, 1, 0, 0})))); // 8 Y rows below 320
    EXPECT_FALSE(ok(withItem(4, 0, U32s({9, 20, 1, 0, 0}))));
    EXPECT_FALSE(ok(withItem(8, 65, U32s({9, 20, 1, 0, 0}))));
    EXPECT_FALSE(ok(withItem(13, 8, U32s({9, 20, 1, 0, 0}))));
    EXPECT_FALSE(ok(withItem(5, 1, U32s({9, 20, 1, 0, 0}))));
    EXPECT_FALSE(ok(withItem(4, 1, U32s({9, 20, 20, 0, 0}))));
    EXPECT_FALSE(ok(withItem(4, 1, U32s({9, 20, 5, 0, 1}))));
    EXPECT_FALSE(ok(Chunk(2, Chunk(6, U32s({180}))) + Chunk(7, Chunk(8, U32s({4})))));
    // Card rows grow with kind One; Z rows fill with Empty.
    auto a = Parse(withItem(13, 6, U32s({9, 20, 0, 0, 0})));
    ASSERT_TRUE(a);
    ASSERT_EQ(a->composer_a.size(), 7u);
    EXPECT_EQ(a->composer_a[0].kind, 1u);
    EXPECT_EQ(a->composer_a[6].kind, 0u);
    EXPECT_TRUE(a->composer_z.empty());
    auto z = Parse(withItem(8, 64, U32s({9, 20, 2, 3, 0})));
    ASSERT_TRUE(z);
    ASSERT_EQ(z->composer_z.size(), 64u);
    EXPECT_EQ(z->composer_z[0].kind, uint32_t(ComposerItem::Empty));
    EXPECT_EQ(ItemScriptText(z->composer_z[63]), "A3");
}

TEST(ProjectFile, StopRulesAndChunkOrder) {
    std::vector<uint8_t> first = StateWith(Params(1, 5));
    std::vector<uint8_t> second = StateWith(Params(2, 6), 320);
    // Two chunks 2: only the first is used.
    auto s = Parse(first + second);
    ASSERT_TRUE(s);
    ASSERT_EQ(s->detectors.size(), 1u);
    EXPECT_EQ(s->detectors[0].card, 1u);
    EXPECT_EQ(s->width, 180u);
    // A chunk 7 before chunk 2 is ignored, one after is read.
    std::vector<uint8_t> seven = Chunk(7, Chunk(8, U32s({13, 0, 9, 20, 0, 0, 0})));
    s = Parse(seven + first);
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->composer_a.empty());
    s = Parse(first + seven);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->composer_a.size(), 1u);
    // A chunk of length 4 stops the walk; what was read stays.
    s = Parse(first + U32s({7, 4}) + seven);
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->composer_a.empty());
    EXPECT_FALSE(Parse(U32s({2, 4}) + first));
    // A cut-short chunk 2 is no chunk 2 at all.
    std::vector<uint8_t> cut(first.begin(), first.end() - 1);
    EXPECT_FALSE(Parse(cut));
    // A detector whose last record is cut short keeps what was read.
    std::vector<uint8_t> det = Params(3, 9) + Chunk(10, U32s({77}));
    std::vector<uint8_t> shortTimes = Chunk(15, U32s({1, 2}));
    shortTimes.resize(shortTimes.size() - 3);
    s = Parse(StateWith(det + shortTimes));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->detectors[0].threshold, 77u);
    EXPECT_EQ(s->detectors[0].delay, 0u);
    s = Parse(StateWith(det + std::vector<uint8_t>{15, 0, 0}));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->detectors[0].card, 3u);
    // A composer list ending in a fragment keeps the rows before it.
    s = Parse(first +
              Chunk(7, Chunk(8, U32s({13, 2, 9, 20, 0, 0, 0})) + std::vector<uint8_t>{8, 0, 0, 0, 99}));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->composer_a.size(), 3u);
    // Unknown chunks are skipped at every level.
    s = Parse(Chunk(99, {1}) +
              Chunk(2, Chunk(6, U32s({180})) + Chunk(42, {}) + Chunk(1, Chunk(77, {}) + Params())));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->detectors.size(), 1u);
}

// The walk still stops where a chunk runs past the end, but the read says
// what it left out, so that nobody saves a cut file as if it were whole.
TEST(ProjectFile, ACutFileReadsAndNamesWhatWasNotRead) {
    auto gapsOf = [](const std::vector<uint8_t>& bytes) {
        ReadGaps gaps;
        EXPECT_TRUE(ParseProject(bytes.data(), bytes.size(), &gaps));
        return gaps.parts;
    };
    RenderState state = RenderState::NewProject();
    state.detectors.push_back(Detector(1, 1, 0, 0, 1, 320, 240));
    state.composer_y[0] = ComposerItem(ComposerItem::InputA, 1);
    const std::vector<uint8_t> whole = ProjectFileBytes(state, "gate.kvx");
    const size_t seven = 8 + RenderStatePayload(state).size(); // where chunk 7 starts
    const size_t eleven = seven + 8 + ComposerListsPayload(state).size();
    using Parts = std::vector<unsigned>;
    EXPECT_EQ(gapsOf(whole), Parts{});
    // Cut inside the output expressions: the rows are not read at all.
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + long(seven + 20));
    EXPECT_EQ(gapsOf(cut), Parts{1302});
    ReadGaps gaps;
    auto read = ParseProject(cut.data(), cut.size(), &gaps);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->detectors.size(), 1u);
    EXPECT_EQ(gaps.unreadBytes, 20u);
    EXPECT_NE(IncompleteFileText("gate.kvx", gaps).find(LoadTextA(text::file_part_expressions)),
              std::string::npos);
    // Inside the package, and in the last header.
    EXPECT_EQ(gapsOf(std::vector<uint8_t>(whole.begin(), whole.begin() + long(eleven + 100))), Parts{1303});
    EXPECT_EQ(gapsOf(std::vector<uint8_t>(whole.begin(), whole.end() - long(whole.size() - eleven - 3))),
              Parts{1304});
    // Fragments inside a whole chunk: a detector's last record, the
    // composer list's last row.
    std::vector<uint8_t> shortTimes = Chunk(15, U32s({1, 2}));
    shortTimes.resize(shortTimes.size() - 3);
    EXPECT_EQ(gapsOf(StateWith(Params() + shortTimes)), Parts{1301});
    EXPECT_EQ(gapsOf(StateWith(Params()) + Chunk(7, std::vector<uint8_t>{8, 0, 0, 0, 99})), Parts{1302});
}

TEST(ProjectFile, ExclusionAndBackgroundRecords) {
    auto excl = [](std::vector<uint8_t> record, uint32_t width = 180) {
        return Parse(StateWith(Params() + Chunk(4, record), width));
    };
    auto s = excl(U32s({0}) + std::vector<uint8_t>{0, 0, 179, 143, 5, 144, 180, 0});
    ASSERT_TRUE(s);
    const Bitmap& m = s->detectors[0].exclusion;
    EXPECT_TRUE(m.IsBlack(30, 0));
    EXPECT_TRUE(m.IsBlack(209, 143));
    EXPECT_FALSE(m.IsBlack(35, 143));                              // high byte 144: ignored
    EXPECT_FALSE(excl(U32s({0}) + std::vector<uint8_t>{0, 0, 1})); // odd trailing byte
    EXPECT_FALSE(excl(U32s({2})));
    EXPECT_FALSE(excl({0, 0}));
    s = excl(U32s({1}) + std::vector<uint8_t>{63, 1, 239, 64, 1, 240}, 320);
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->detectors[0].exclusion.IsBlack(319, 239));
    EXPECT_FALSE(excl(U32s({1}) + std::vector<uint8_t>{1, 0}, 320));

    auto bg = [](uint32_t width, std::vector<uint8_t> record) {
        std::vector<uint8_t> size = width == 320 ? Chunk(16, U32s({320, 240})) : Chunk(6, U32s({width}));
        return Parse(Chunk(2, size + Chunk(5, record)));
    };
    std::vector<uint8_t> grey = U32s({2, 180, 144, 1, 0});
    grey.resize(grey.size() + 180 * 144, 77);
    s = bg(180, grey);
    ASSERT_TRUE(s);
    ASSERT_EQ(s->backgrounds.size(), 3u);
    EXPECT_EQ(s->backgrounds[2].GetPixelColour(30, 0), 0x4D4D4Du);
    EXPECT_EQ(s->backgrounds[2].GetPixelColour(29, 0), 0xFFFFFFu);
    EXPECT_EQ(s->backgrounds[0].Width(), 240u);
    std::vector<uint8_t> extra = grey;
    extra.push_back(0);
    EXPECT_FALSE(bg(180, extra));
    grey.pop_back();
    EXPECT_FALSE(bg(180, grey));
    EXPECT_TRUE(bg(180, U32s({0, 0, 0, 3, 1})));
    EXPECT_FALSE(bg(180, U32s({0, 0, 0, 3, 1, 0})));
    EXPECT_FALSE(bg(180, U32s({8, 0, 0, 3, 1})));
    EXPECT_FALSE(bg(180, U32s({0, 320, 240, 1, 1})));
    std::vector<uint8_t> colour = U32s({0, 320, 240, 3, 1});
    colour.resize(colour.size() + 320 * 240 * 3, 9);
    EXPECT_TRUE(bg(320, colour));
    EXPECT_THROW(bg(180, colour), std::out_of_range);
}

TEST(ProjectFile, BackgroundOfAnotherSizeIsStoredAsShown) {
    RenderState s = RenderState::NewProject();
    Bitmap live(180, 144); // a live picture of another size
    live.SetPixelColour(0, 0, 0x123456);
    live.SetPixelColour(179, 143, 0x654321);
    s.backgrounds[1] = live;
    auto back = Parse(ProjectFileBytes(s, "p.kvx"));
    ASSERT_TRUE(back);
    const Bitmap& b = back->backgrounds[1];
    ASSERT_EQ(b.Width(), 320u);
    ASSERT_EQ(b.Height(), 240u);
    EXPECT_EQ(b.GetPixelColour(0, 0), 0x123456u);
    EXPECT_EQ(b.GetPixelColour(179, 143), 0x654321u);
    EXPECT_EQ(b.GetPixelColour(180, 143), 0xFFFFFFu);

    RenderState g;
    g.EnsureBackgrounds(1);
    g.backgrounds[0] = Bitmap(320, 240); // larger than the 240 x 144 canvas
    g.backgrounds[0].SetPixelColour(100, 100, 0x303030);
    back = Parse(ProjectFileBytes(g, "p.kvx"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->backgrounds[0].Width(), 240u);
    EXPECT_EQ(back->backgrounds[0].GetPixelColour(100, 100), 0x303030u);
}

TEST(ProjectFile, UnsavableStatesAreRefusedBeforeWriting) {
    TempDir dir;
    std::string path = dir.File("keep.kvx");
    Document doc;
    doc.New();
    SaveProject(doc, path);
    std::vector<uint8_t> before = Slurp(path);
    RenderState s = doc.Current();
    s.detectors.push_back(Detector(1, 1, 0, 0, 1, 320, 240));
    s.detectors[0].angle = 360;
    doc.NewRenderState(s);
    EXPECT_THROW(SaveProject(doc, path), LocalException);
    s.detectors[0].angle = 0;
    s.detectors[0].card = 5; // no background for card 5
    doc.NewRenderState(s);
    EXPECT_THROW(SaveProject(doc, path), std::out_of_range);
    s.detectors[0].card = 0;
    s.composer_y[0] = ComposerItem(ComposerItem::Blur, 9);
    doc.NewRenderState(s);
    EXPECT_THROW(SaveProject(doc, path), LocalException);
    EXPECT_EQ(Slurp(path), before);
    EXPECT_TRUE(doc.Modified());
    EXPECT_EQ(fs::directory_iterator(dir.Path())->path().filename(), "keep.kvx"); // no temporary left
}

TEST(ProjectFile, NoMoreDetectorsThanTheCardsCanNumber) {
    // 8 cards x 32 numbers. Empty 8-byte detector chunks each asked for a
    // canvas-size exclusion map; a file of them is refused at the 257th.
    std::vector<uint8_t> detectors;
    for (size_t i = 0; i < kMaxDetectors; ++i)
        detectors = detectors + Chunk(1, {});
    std::vector<uint8_t> full = Chunk(2, Chunk(16, U32s({320, 240})) + detectors);
    auto state = Parse(full);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->detectors.size(), kMaxDetectors);
    EXPECT_EQ(state->detectors.back().exclusion.Width(), 320u);
    EXPECT_FALSE(Parse(Chunk(2, Chunk(16, U32s({320, 240})) + detectors + Chunk(1, {}))));
    // A state with more cannot be saved either: it could not be read back.
    state->detectors.push_back(state->detectors.back());
    EXPECT_THROW(CheckSavable(*state), LocalException);
}

TEST(ProjectFile, EveryFileThatReadsCanBeSavedAgain) {
    // A detector on a card the file holds no picture for: reading gives
    // that card a white picture, so the package (whose masks are drawn over
    // the card's picture) can be built and the file saved and read again.
    std::vector<uint8_t> file = StateWith(Params(3, 7));
    auto state = Parse(file);
    ASSERT_TRUE(state);
    ASSERT_EQ(state->backgrounds.size(), 4u);
    EXPECT_EQ(state->backgrounds[3], Bitmap(240, 144));
    std::vector<uint8_t> saved = ProjectFileBytes(*state, "x.kvx");
    auto again = Parse(saved);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->detectors, state->detectors);
    EXPECT_EQ(again->backgrounds, state->backgrounds);
}

TEST(ProjectFile, FailedOpenLeavesTheDocumentAlone) {
    TempDir dir;
    Document doc;
    doc.New();
    RenderState one = doc.Current();
    one.detectors.push_back(Detector(1, 1, 0, 0, 1, 320, 240));
    doc.NewRenderState(std::move(one));
    std::string bad = dir.File("bad.kvx");
    std::vector<uint8_t> bytes = StateWith(Params(0, 1, 880, 360));
    AtomicFile::WriteAll(bad, bytes.data(), bytes.size());
    try {
        OpenProject(doc, bad);
        FAIL() << "opened a broken file";
    } catch (const LocalException& e) {
        EXPECT_EQ(std::string(e.what()), LoadTextA(text::project_invalid_file));
    }
    EXPECT_THROW(OpenProject(doc, dir.File("missing.kvx")), LocalException);
    EXPECT_EQ(doc.HistorySize(), 2u);
    EXPECT_EQ(doc.Current().detectors.size(), 1u);
    EXPECT_TRUE(doc.Modified());
    EXPECT_EQ(doc.Path(), "");
}

TEST(ProjectFile, InterruptedSaveKeepsThePreviousFile) {
    TempDir dir;
    std::string path = dir.File("plant.kvx");
    Document doc;
    doc.New();
    SaveProject(doc, path);
    std::vector<uint8_t> before = Slurp(path);
    ASSERT_GT(before.size(), 100000u);

    // A bigger project whose save runs out of room part-way: the file size
    // limit stands in for a full disk.
    RenderState s = doc.Current();
    s.EnsureBackgrounds(8);
    for (int i = 0; i < 5; ++i)
        s.detectors.push_back(Detector(1, 1, 0, 0, uint32_t(i + 1), 320, 240));
    doc.NewRenderState(std::move(s));
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = before.size() + 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool failed = false;
    try {
        SaveProject(doc, path);
    } catch (const LocalException&) {
        failed = true;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(failed);
    EXPECT_EQ(Slurp(path), before);
    EXPECT_TRUE(doc.Modified());
    size_t files = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 1u); // the temporary file is gone

    // A save into a folder that does not exist fails without side effects.
    EXPECT_THROW(SaveProject(doc, dir.File("no/such/dir.kvx")), LocalException);
    EXPECT_EQ(doc.Path(), path);
    // The same save with room succeeds and replaces the file whole.
    SaveProject(doc, path);
    EXPECT_FALSE(doc.Modified());
    auto back = Parse(Slurp(path));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->backgrounds.size(), 8u);
}

TEST(ProjectFile, SaveAndOpenAnnounceTheirChanges) {
    TempDir dir;
    Document doc;
    doc.New();
    doc.NewRenderState(doc.Current());
    uint32_t heard = 0;
    auto subscription = doc.Subscribe([&](uint32_t bits) { heard = bits; });
    doc.DeliverChanges();
    std::string path = dir.File("t.kvx");
    SaveProject(doc, path);
    doc.DeliverChanges();
    EXPECT_EQ(heard, DocumentChange::Content | DocumentChange::Path);
    EXPECT_EQ(doc.Path(), path);
    doc.NewRenderState(doc.Current());
    doc.DeliverChanges();
    OpenProject(doc, path);
    doc.DeliverChanges();
    EXPECT_EQ(heard, DocumentChange::Content | DocumentChange::Layout | DocumentChange::Path |
                         DocumentChange::Selection);
    EXPECT_EQ(doc.HistorySize(), 1u);
    EXPECT_FALSE(doc.CanUndo());
}
