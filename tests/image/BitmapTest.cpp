#include "image/Bitmap.h"

#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>
#include <unistd.h>

using namespace korvex;

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

// A valid 24-bit bottom-up BMP whose pixel (x, y) (top-down) has
// B = x, G = y, R = 7.
std::vector<uint8_t> MakeBmp(uint32_t w, uint32_t h) {
    std::vector<uint8_t> b(54 + size_t(w) * h * 3, 0);
    Put16(b, 0, 0x4D42);
    Put32(b, 2, uint32_t(b.size()));
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, w);
    Put32(b, 22, h);
    Put16(b, 26, 1);
    Put16(b, 28, 24);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            size_t at = 54 + (size_t(h - 1 - y) * w + x) * 3;
            b[at] = uint8_t(x);
            b[at + 1] = uint8_t(y);
            b[at + 2] = 7;
        }
    return b;
}

std::string LoadError(Bitmap& target, const std::vector<uint8_t>& bytes) {
    Bitmap before = target;
    try {
        target.LoadBmp(bytes.data(), bytes.size());
    } catch (const LocalException& e) {
        EXPECT_EQ(target, before) << "a failed load changed the bitmap";
        return e.what();
    }
    return "";
}

} // namespace

TEST(Bitmap, ConstructionAndCheckedAccess) {
    EXPECT_THROW(
        {
            try {
                Bitmap b(182, 144);
            } catch (const std::invalid_argument& e) {
                EXPECT_STREQ(e.what(), "Bitmap width not multiple of 4");
                throw;
            }
        },
        std::invalid_argument);
    for (uint32_t w : {180u, 240u, 320u})
        EXPECT_NO_THROW(Bitmap(w, 144));
    Bitmap b(240, 144);
    EXPECT_EQ(b.Data().size(), 103680u);
    for (uint8_t v : b.Data())
        ASSERT_EQ(v, 0xFF);

    try {
        b.SetPixelColour(240, 0, 0);
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Bitmap index out of range");
    }
    EXPECT_THROW(b.PaintBlack(0, 144), std::out_of_range);
    b.SetPixelColour(239, 143, 0x00112233);
    const uint8_t* p = b.Row(143) + 239 * 3;
    EXPECT_EQ(p[0], 0x11); // blue from bits 16..23
    EXPECT_EQ(p[1], 0x22);
    EXPECT_EQ(p[2], 0x33); // red from the low byte
    EXPECT_EQ(b.GetPixelColour(239, 143), 0x00112233u);
}

TEST(Bitmap, PaintBlackReportsWhetherItChangedAnything) {
    Bitmap b(4, 1);
    EXPECT_TRUE(b.PaintBlack(1, 0));
    EXPECT_FALSE(b.PaintBlack(1, 0));
    EXPECT_TRUE(b.IsBlack(1, 0));
    b.FillWhite();
    EXPECT_FALSE(b.IsBlack(1, 0));
}

TEST(Bitmap, ToGreyUsesTheIntegerWeights) {
    Bitmap b(4, 1);
    b.SetPixelColour(0, 0, 0x000000FF); // pure red
    b.SetPixelColour(1, 0, 0x00FFFFFF);
    b.SetPixelColour(2, 0, 0x0000FF00); // pure green
    b.SetPixelColour(3, 0, 0x00FF0000); // pure blue
    b.ToGrey();
    EXPECT_EQ(b.GetPixelColour(0, 0), 0x00353535u); // 53
    EXPECT_EQ(b.GetPixelColour(1, 0), 0x00FFFFFFu);
    EXPECT_EQ(b.GetPixelColour(2, 0), 0x00B7B7B7u); // 183
    EXPECT_EQ(b.GetPixelColour(3, 0), 0x00131313u); // 19
}

TEST(LoadBmp, CentresNarrowPicturesAndKeepsTheMargins) {
    Bitmap target(240, 144);
    target.SetPixelColour(0, 0, 0x00123456);
    target.SetPixelColour(239, 143, 0x00654321);
    auto bytes = MakeBmp(180, 144);
    target.LoadBmp(bytes.data(), bytes.size());
    // Column 30 holds file column 0, row 0 the file's top row.
    EXPECT_EQ(target.GetPixelColour(30, 0), 0x00000007u);
    EXPECT_EQ(target.GetPixelColour(209, 143), uint32_t(179) << 16 | 143 << 8 | 7);
    EXPECT_EQ(target.GetPixelColour(29, 5), 0x00FFFFFFu);
    EXPECT_EQ(target.GetPixelColour(210, 5), 0x00FFFFFFu);
    EXPECT_EQ(target.GetPixelColour(0, 0), 0x00123456u);
    EXPECT_EQ(target.GetPixelColour(239, 143), 0x00654321u);

    Bitmap t192(240, 144);
    auto b192 = MakeBmp(192, 144);
    ASSERT_EQ(b192.size(), 82998u);
    t192.LoadBmp(b192.data(), b192.size());
    EXPECT_EQ(t192.GetPixelColour(24, 0), 0x00000007u);
    EXPECT_EQ(t192.GetPixelColour(23, 0), 0x00FFFFFFu);

    Bitmap full(320, 240);
    auto b320 = MakeBmp(320, 240);
    full.LoadBmp(b320.data(), b320.size());
    EXPECT_EQ(full.GetPixelColour(5, 9), uint32_t(5) << 16 | 9 << 8 | 7);
}

// The bitmap checks' texts in Polish are the literal texts the program has
// always shown; while one lives, the Polish language is selected.
struct PolishTexts {
    PolishTexts() { EXPECT_EQ(StringTable::Select("pl"), "pl"); }
    ~PolishTexts() { StringTable::Install({}); }
};

TEST(LoadBmp, EveryCheckInItsOrderWithItsMessage) {
    const PolishTexts polish;
    Bitmap t(240, 144);
    auto good = MakeBmp(180, 144);

    EXPECT_EQ(LoadError(t, std::vector<uint8_t>(good.begin(), good.begin() + 53)),
              "Niepoprawny plik bitmapy.");
    auto b = good;
    b[0] = 'X';
    EXPECT_EQ(LoadError(t, b), "Niepoprawna sygnatura nagłówka bitampy.");
    b = good;
    Put16(b, 8, 1);
    EXPECT_EQ(LoadError(t, b), "Niepoprawny nagłówek bitampy.");
    b = good;
    Put32(b, 14, 124);
    EXPECT_EQ(LoadError(t, b), "Niepoprawny rozmiar nagłówka bitmapy.");
    b = good;
    Put16(b, 26, 2);
    EXPECT_EQ(LoadError(t, b), "Niepoprawna liczba warstw bitmapy.");
    // A 32-bit picture with compression 3 fails at the compression check,
    // before the depth is looked at.
    b = good;
    Put16(b, 28, 32);
    Put32(b, 30, 3);
    EXPECT_EQ(LoadError(t, b), "Niepoprawny format kodowania obrazu bitmapy.");
    b = good;
    Put16(b, 28, 8);
    EXPECT_EQ(LoadError(t, b), "Niepoprawna głebia koloru obrazu bitmapy (musi być 24-bitowa).");
    b = MakeBmp(320, 240);
    EXPECT_EQ(LoadError(t, b),
              "Niepoprawne wymiary obrazu bitmapy (muszą wynosić 180x144, 192x144 lub 240x144).");
    b = good;
    Put32(b, 22, uint32_t(-144)); // top-down never matches
    EXPECT_EQ(LoadError(t, b),
              "Niepoprawne wymiary obrazu bitmapy (muszą wynosić 180x144, 192x144 lub 240x144).");
    Bitmap big(320, 240);
    b = MakeBmp(240, 144);
    EXPECT_EQ(LoadError(big, b), "Niekompatybilne wymiary obrazu bitmapy z widokiem.");
    b = good;
    Put32(b, 10, 58);
    EXPECT_EQ(LoadError(t, b), "Niepoprawny plik bitmapy.");
    b = MakeBmp(192, 144);
    b.push_back(0);
    EXPECT_EQ(LoadError(t, b), "Niepoprawny rozmiar pliku bitmapy.");
    b = good;
    b.pop_back();
    EXPECT_EQ(LoadError(t, b), "Niepoprawny rozmiar pliku bitmapy.");
    // In English, English.
    StringTable::Install({});
    EXPECT_EQ(LoadError(t, b), "The bitmap file's size is not valid.");
    b = good;
    b[0] = 'X';
    EXPECT_EQ(LoadError(t, b), "The bitmap header's signature is not valid.");
}

TEST(LoadBmp, AnEmptyTargetTakesOnlyAnEmptyPicture) {
    const PolishTexts polish;
    // Zero columns: the header is all there is; no row may be touched.
    Bitmap empty(0, 3);
    auto bytes = MakeBmp(0, 3);
    ASSERT_EQ(bytes.size(), 54u);
    EXPECT_NO_THROW(empty.LoadBmp(bytes.data(), bytes.size()));
    EXPECT_EQ(empty, Bitmap(0, 3));
    EXPECT_EQ(LoadError(empty, MakeBmp(4, 3)), "Niekompatybilne wymiary obrazu bitmapy z widokiem.");
}

TEST(EncodeBmp24, WritesAFileLoadBmpReadsBack) {
    Bitmap b(320, 240);
    for (uint32_t y = 0; y < 240; y += 7)
        for (uint32_t x = 0; x < 320; x += 3)
            b.SetPixelColour(x, y, (x * 2654435761u) ^ y);
    auto bytes = EncodeBmp24(b);
    EXPECT_EQ(bytes.size(), 54u + 320 * 240 * 3);
    Bitmap back(320, 240);
    back.LoadBmp(bytes.data(), bytes.size());
    EXPECT_EQ(back, b);
}

TEST(LoadBmpFile, TheHeaderIsCheckedBeforeThePixelsAreRead) {
    const PolishTexts polish;
    const korvex::test::TempDir temp{"korvex-bmp"};
    const std::string dir = temp.Path();
    auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes, uint64_t sparseSize = 0) {
        std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (sparseSize)
            std::filesystem::resize_file(path, sparseSize);
        return path;
    };
    auto error = [](Bitmap& target, const std::string& path) -> std::string {
        Bitmap before = target;
        try {
            target.LoadBmpFile(path);
        } catch (const LocalException& e) {
            EXPECT_EQ(target, before);
            return e.what();
        }
        return "";
    };
    Bitmap canvas(240, 144);
    // A good file loads as from memory.
    std::vector<uint8_t> good = MakeBmp(192, 144);
    EXPECT_EQ(error(canvas, write("good.bmp", good)), "");
    Bitmap fromMemory(240, 144);
    fromMemory.LoadBmp(good.data(), good.size());
    EXPECT_EQ(canvas, fromMemory);
    // Three gigabytes (sparse) behind a good header, and behind no header:
    // refused from the header and the size alone.
    std::vector<uint8_t> header(good.begin(), good.begin() + 54);
    EXPECT_EQ(error(canvas, write("huge.bmp", header, 3ull << 30)), "Niepoprawny rozmiar pliku bitmapy.");
    EXPECT_EQ(error(canvas, write("other.bin", {'P', 'K', 3, 4}, 3ull << 30)),
              "Niepoprawna sygnatura nagłówka bitampy.");
    EXPECT_EQ(error(canvas, write("short.bmp", {'B', 'M'})), "Niepoprawny plik bitmapy.");
    // A folder is not a picture file.
    StringTable::Install({{256, "Cannot open '"}});
    EXPECT_EQ(error(canvas, dir), "Cannot open '" + dir + "'.");
    StringTable::Install({});
}
