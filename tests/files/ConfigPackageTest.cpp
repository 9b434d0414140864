#include "files/Chunk.h"
#include "files/ConfigPackage.h"
#include "raster/DetectorRaster.h"

#include <gtest/gtest.h>

using namespace korvex;

namespace {

std::vector<PackageEntry> Entries(const RenderState& state, const std::string& path = "test.tdv") {
    std::vector<uint8_t> bytes = BuildConfigPackage(state, path);
    std::vector<PackageEntry> entries;
    EXPECT_TRUE(ReadPackageEntries(bytes.data(), bytes.size(), entries));
    return entries;
}

std::string Text(const PackageEntry& e) { return std::string(e.content.begin(), e.content.end()); }

RenderState State180() {
    RenderState s;
    s.EnsureBackgrounds(4);
    s.composer_y.resize(8);
    s.composer_z.assign(64, ComposerItem(ComposerItem::Empty));
    s.composer_a.resize(4);
    return s;
}

Detector Square(const RenderState& s, int x0, int y0, int x1, int y1, int32_t fill) {
    Detector d(0, 1, 0, 0, 1, s.CanvasWidth(), s.CanvasHeight());
    d.points = {{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
    d.fill = fill;
    return d;
}

// Bit (x, y) of a mask file, y counted from the top.
bool MaskBit(const std::vector<uint8_t>& bmp, uint32_t w, uint32_t h, uint32_t x, uint32_t y) {
    uint32_t r = (w + 7) / 8;
    return (bmp[54 + size_t(h - 1 - y) * r + x / 8] >> (7 - x % 8)) & 1;
}

} // namespace

TEST(ConfigPackage, Alias) {
    EXPECT_EQ(AliasFromPath("C:\\work\\gate.kvx"), "gate");
    EXPECT_EQ(AliasFromPath("/home/u/projects/gate.v2.kvx"), "gate.v2");
    EXPECT_EQ(AliasFromPath("test.tdv"), "test");
    EXPECT_EQ(AliasFromPath("dir.d/noext"), "noext");
    EXPECT_EQ(AliasFromPath("mixed/a\\b.kvx"), "b");
    // A line break in a file name cannot add a line to config.txt.
    std::string config = BuildConfigText(RenderState::NewProject(), AliasFromPath("/tmp/x\ndet_count = 9\r.kvx"));
    EXPECT_EQ(config, "alias = x_det_count = 9_\ncompose_script = compose.txt\ndet_count = 0\n");
}

TEST(ConfigPackage, NoDetectorsGivesTwoEntries) {
    RenderState s = RenderState::NewProject();
    auto entries = Entries(s, "/tmp/gate.kvx");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "config.txt");
    EXPECT_EQ(Text(entries[0]), "alias = gate\ncompose_script = compose.txt\ndet_count = 0\n");
    EXPECT_EQ(entries[1].name, "compose.txt");
    EXPECT_EQ(Text(entries[1]).size(), 9u * 7 + 15 * 8);
}

TEST(ConfigPackage, EntryFramingBytes) {
    RenderState s = RenderState::NewProject();
    std::vector<uint8_t> bytes = BuildConfigPackage(s, "a.kvx");
    // First entry: chunk 12 holding chunk 13 "config.txt" and chunk 14.
    std::string config = "alias = a\ncompose_script = compose.txt\ndet_count = 0\n";
    EXPECT_EQ(ReadLe32(&bytes[0]), 12u);
    EXPECT_EQ(ReadLe32(&bytes[4]), 8u + 8 + 10 + 8 + config.size());
    EXPECT_EQ(ReadLe32(&bytes[8]), 13u);
    EXPECT_EQ(ReadLe32(&bytes[12]), 18u);
    EXPECT_EQ(std::string(bytes.begin() + 16, bytes.begin() + 26), "config.txt");
    EXPECT_EQ(ReadLe32(&bytes[26]), 14u);
    EXPECT_EQ(ReadLe32(&bytes[30]), 8u + config.size());
}

TEST(ConfigPackage, ConfigLines) {
    RenderState s = RenderState::NewProject();
    Detector a = Square(s, 10, 10, 20, 20, 0);
    a.contrast = true;
    a.card = 2;
    a.number = 4;
    a.directional = true;
    a.delay = 100;
    Detector b = Square(s, 10, 10, 20, 20, 0);
    b.directional = true; // angle 0: no angle line
    b.feature_threshold = 0;
    b.threshold = 7;
    Detector c = b;
    c.angle = 270;
    c.card = 1;
    Detector d = Square(s, 10, 10, 20, 20, 0);
    d.extend = 5;
    Detector e = d;
    e.delay = 300;
    e.extend = 0;
    s.detectors = {a, b, c, d, e};
    auto entries = Entries(s, "x\\y\\plant.kvx");
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries[0].name, "det1.bmp");
    EXPECT_EQ(entries[4].name, "det5.bmp");
    EXPECT_EQ(entries[5].name, "config.txt");
    EXPECT_EQ(Text(entries[5]), "alias = plant\n"
                                "compose_script = compose.txt\n"
                                "det_count = 5\n"
                                "\n"
                                "det1_area = det1.bmp\n"
                                "det1_card = 2\n"
                                "det1_number = 4\n"
                                "det1_contrast = 1\n"
                                "\n"
                                "det2_area = det2.bmp\n"
                                "det2_number = 1\n"
                                "det2_feature_threshold = 0\n"
                                "det2_threshold = 7\n"
                                "det2_directional = 1\n"
                                "\n"
                                "det3_area = det3.bmp\n"
                                "det3_card = 1\n"
                                "det3_number = 1\n"
                                "det3_feature_threshold = 0\n"
                                "det3_threshold = 7\n"
                                "det3_directional = 1\n"
                                "det3_angle = 270\n"
                                "\n"
                                "det4_area = det4.bmp\n"
                                "det4_number = 1\n"
                                "det4_feature_threshold = 880\n"
                                "det4_threshold = 3\n"
                                "det4_extend = 5\n"
                                "\n"
                                "det5_area = det5.bmp\n"
                                "det5_number = 1\n"
                                "det5_feature_threshold = 880\n"
                                "det5_threshold = 3\n"
                                "det5_delay = 300\n");
}

TEST(ConfigPackage, MaskHeaderAndSizes) {
    RenderState big = RenderState::NewProject();
    big.detectors.push_back(Square(big, 10, 10, 20, 20, 100));
    std::vector<uint8_t> m = BuildMaskBmp(big, 0);
    ASSERT_EQ(m.size(), 9654u);
    EXPECT_EQ(m[0], 'B');
    EXPECT_EQ(m[1], 'M');
    EXPECT_EQ(ReadLe32(&m[2]), 9654u);
    EXPECT_EQ(ReadLe32(&m[6]), 0u);
    EXPECT_EQ(ReadLe32(&m[10]), 54u);
    EXPECT_EQ(ReadLe32(&m[14]), 40u);
    EXPECT_EQ(ReadLe32(&m[18]), 320u);
    EXPECT_EQ(ReadLe32(&m[22]), 240u);
    EXPECT_EQ(ReadLe16(&m[26]), 1u);
    EXPECT_EQ(ReadLe16(&m[28]), 1u);
    EXPECT_EQ(ReadLe32(&m[30]), 0u);
    EXPECT_EQ(ReadLe32(&m[34]), 9600u);
    for (int i = 38; i < 54; ++i)
        EXPECT_EQ(m[size_t(i)], 0) << i;
    // The filled square 10..19 x 10..19, and nothing else.
    uint32_t set = 0;
    for (uint32_t y = 0; y < 240; ++y)
        for (uint32_t x = 0; x < 320; ++x)
            if (MaskBit(m, 320, 240, x, y)) {
                ++set;
                EXPECT_TRUE(x >= 10 && x < 20 && y >= 10 && y < 20) << x << "," << y;
            }
    EXPECT_EQ(set, 100u);
    // Bottom-up rows: row 10 from the top is row 229 in the file.
    EXPECT_EQ(m[54 + 229 * 40 + 1], 0x3F); // columns 10..15 of byte 1
    EXPECT_EQ(m[54 + 229 * 40 + 2], 0xF0); // columns 16..19 of byte 2

    RenderState small = State180();
    small.detectors.push_back(Square(small, 40, 10, 50, 20, 100));
    m = BuildMaskBmp(small, 0);
    ASSERT_EQ(m.size(), 3366u);
    EXPECT_EQ(ReadLe32(&m[18]), 180u);
    EXPECT_EQ(ReadLe32(&m[34]), 23u * 144);
    // Canvas column 40 is picture column 10.
    EXPECT_TRUE(MaskBit(m, 180, 144, 10, 10));
    EXPECT_FALSE(MaskBit(m, 180, 144, 9, 10));
    EXPECT_TRUE(MaskBit(m, 180, 144, 19, 19));
    EXPECT_FALSE(MaskBit(m, 180, 144, 20, 19));
}

TEST(ConfigPackage, MarginsNeverReachA180Mask) {
    RenderState s = State180();
    // A filled area over the whole canvas, margins included.
    s.detectors.push_back(Square(s, 0, 0, 240, 144, 100));
    std::vector<uint8_t> m = BuildMaskBmp(s, 0);
    uint32_t set = 0;
    for (uint32_t y = 0; y < 144; ++y)
        for (uint32_t x = 0; x < 180; ++x)
            set += MaskBit(m, 180, 144, x, y);
    EXPECT_EQ(set, 180u * 144);
    // The three padding bits of each 23-byte row stay clear.
    for (uint32_t y = 0; y < 144; ++y)
        EXPECT_EQ(m[54 + y * 23 + 22] & 0x0F, 0);
}

TEST(ConfigPackage, ExclusionClearsBitsButKeepsTheEntry) {
    RenderState s = RenderState::NewProject();
    Detector d = Square(s, 10, 10, 20, 20, 100);
    for (uint32_t y = 0; y < 240; ++y)
        for (uint32_t x = 0; x < 320; ++x)
            d.exclusion.PaintBlack(x, y);
    s.detectors.push_back(d);
    std::vector<uint8_t> m = BuildMaskBmp(s, 0);
    ASSERT_EQ(m.size(), 9654u);
    for (size_t i = 54; i < m.size(); ++i)
        ASSERT_EQ(m[i], 0);
    EXPECT_EQ(DetectorPixelCount(d, 320, 240), 100u);

    // Painting out one pixel removes exactly that bit.
    s.detectors[0].exclusion.FillWhite();
    s.detectors[0].exclusion.PaintBlack(12, 13);
    m = BuildMaskBmp(s, 0);
    EXPECT_FALSE(MaskBit(m, 320, 240, 12, 13));
    EXPECT_TRUE(MaskBit(m, 320, 240, 13, 13));
}

TEST(ConfigPackage, Widths192And240StartAtColumnZero) {
    for (uint32_t w : {192u, 240u}) {
        RenderState s = State180();
        s.width = w;
        s.detectors.push_back(Square(s, 0, 0, 8, 8, 100));
        std::vector<uint8_t> m = BuildMaskBmp(s, 0);
        uint32_t r = (w + 7) / 8;
        ASSERT_EQ(m.size(), r * 144 + 54) << w;
        EXPECT_EQ(ReadLe32(&m[18]), w);
        EXPECT_TRUE(MaskBit(m, w, 144, 0, 0));
        EXPECT_TRUE(MaskBit(m, w, 144, 7, 7));
        EXPECT_FALSE(MaskBit(m, w, 144, 8, 0));
    }
}

TEST(ConfigPackage, CardWithoutBackgroundFailsWholeBuild) {
    RenderState s = RenderState::NewProject(); // backgrounds for cards 0..3
    Detector d = Square(s, 10, 10, 20, 20, 0);
    d.card = 4;
    s.detectors.push_back(d);
    EXPECT_THROW(BuildConfigPackage(s, "a.kvx"), std::out_of_range);
    s.detectors[0].card = 3;
    EXPECT_NO_THROW(BuildConfigPackage(s, "a.kvx"));
}

TEST(ConfigPackage, MalformedPackagesAreRejected) {
    RenderState s = RenderState::NewProject();
    std::vector<uint8_t> bytes = BuildConfigPackage(s, "a.kvx");
    std::vector<PackageEntry> entries;
    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 1);
    EXPECT_FALSE(ReadPackageEntries(cut.data(), cut.size(), entries));
    std::vector<uint8_t> wrong = bytes;
    wrong[0] = 11;
    EXPECT_FALSE(ReadPackageEntries(wrong.data(), wrong.size(), entries));
}

// The mask file must hold exactly what drawing the detector in mask mode on
// the grey card background and reading the red pixels back gives, for any
// geometry: out-of-canvas corners, every pen width, fills, divisions,
// painted-out pixels, and coloured backgrounds.
TEST(ConfigPackage, MaskEqualsTheDrawnMask) {
    uint32_t seed = 77;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (uint32_t width : {180u, 320u, 192u}) {
        RenderState s = width == 320 ? RenderState::NewProject() : State180();
        s.width = width;
        for (Bitmap& b : s.backgrounds)
            for (uint32_t y = 0; y < b.Height(); ++y)
                for (uint32_t x = 0; x < b.Width(); ++x)
                    b.SetPixelColour(x, y, (x * 7 + y * 13) % 2 ? 0x0000FF : 0x20FF30); // red and green
        for (int round = 0; round < 40; ++round) {
            Detector d(next(5), 1 + next(6), next(4) == 0, next(4), 1, s.CanvasWidth(), s.CanvasHeight());
            for (Point& p : d.points)
                p = {int32_t(next(s.CanvasWidth() + 40)) - 20, int32_t(next(s.height + 40)) - 20};
            d.fill = int32_t(next(3) == 0 ? 0 : next(101));
            for (int k = 0; k < 400; ++k)
                d.exclusion.PaintBlack(next(s.CanvasWidth()), next(s.height));
            s.detectors = {d};

            Bitmap canvas = s.backgrounds[d.card];
            canvas.ToGrey();
            DrawDetector(canvas, d.points, d, -1, false, true, s.CanvasWidth(), s.CanvasHeight(), d.exclusion);
            std::vector<uint8_t> m = BuildMaskBmp(s, 0);
            uint32_t offset = width == 180 ? 30 : 0;
            for (uint32_t y = 0; y < s.height; ++y)
                for (uint32_t x = 0; x < width; ++x) {
                    uint32_t c = canvas.GetPixelColour(x + offset, y);
                    bool red = (c & 0xFF) >= 192 && ((c >> 8) & 0xFF) < 64 && ((c >> 16) & 0xFF) < 64;
                    ASSERT_EQ(MaskBit(m, width, s.height, x, y), red)
                        << "width " << width << " round " << round << " at " << x << "," << y;
                }
        }
    }
}
