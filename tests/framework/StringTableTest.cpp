#include "framework/StringTable.h"

#include "framework/Language.h"
#include "framework/LocalException.h"
#include "framework/TextIds.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace korvex;
namespace fs = std::filesystem;

TEST(StringTable, ParseHandlesEscapesCommentsAndMalformedLines) {
    auto t = StringTable::Parse("# comment\n"
                                "100\tHello\\nworld\r\n"
                                "101\tTab\\there \\\\ back\n"
                                "\n"
                                "abc\tnot a number\n"
                                "102 no tab\n"
                                "\tno id\n"
                                "103\t\n"
                                "100\tsecond definition is ignored\n");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[100], "Hello\nworld");
    EXPECT_EQ(t[101], "Tab\there \\ back");
    EXPECT_EQ(t[103], "");
}

TEST(StringTable, ParseAcceptsAKeyAfterTheNumberAndRefusesMalformedOnes) {
    auto t = StringTable::Parse("200 err.device.no_answer\tNo answer\n"
                                "201\tNo key\n"
                                "202 area.name_2.x\tDots, digits, underscores\n"
                                "203 Err.device\tcapital letter\n"
                                "204 2nd.key\tstarts with a digit\n"
                                "205 a key\tblank inside\n"
                                "206 \tblank but no key\n"
                                "207  two.blanks\ttwo blanks\n"
                                "208 key;x\tpunctuation\n");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[200], "No answer");
    EXPECT_EQ(t[201], "No key");
    EXPECT_EQ(t[202], "Dots, digits, underscores");
}

// The names the build generates from the English tables and the table the
// program parses from the same files agree: every name's number has a text.
TEST(StringTable, EveryGeneratedNameHasAnEnglishText) {
    const auto& en = StringTable::English();
    EXPECT_EQ(std::size(text::kAll), en.size());
    for (unsigned id : text::kAll)
        EXPECT_TRUE(en.count(id)) << id;
    EXPECT_FALSE(en.at(text::session_create_failed).empty());
}

TEST(StringTable, MissingIdGivesEmptyTextAndRaiseErrorCarriesIt) {
    StringTable::Install({{5000, "From the installed table"}});
    EXPECT_EQ(LoadTextA(5000), "From the installed table");
    EXPECT_EQ(LoadTextA(4999999), "");
    try {
        RaiseError(4999999);
        FAIL();
    } catch (const LocalException& e) {
        EXPECT_STREQ(e.what(), "");
    }
    StringTable::Install({});
}

TEST(StringTable, EnglishIsTheFallbackForIdsTheLanguageLacks) {
    ASSERT_FALSE(StringTable::English().empty());
    unsigned id = StringTable::English().begin()->first;
    StringTable::Install({{1, "only one"}});
    EXPECT_EQ(LoadTextA(id), StringTable::English().begin()->second);
    StringTable::Install({});
}

TEST(StringTable, LongTextsAreCutOnACharacterBoundary) {
    std::string text;
    for (int i = 0; i < 600; ++i)
        text += "\xc5\x82"; // 'ł', two bytes
    StringTable::Install({{7, text}});
    std::string a = LoadTextA(7);
    EXPECT_LE(a.size(), 1023u);
    EXPECT_EQ(a.size() % 2, 0u);
    EXPECT_EQ(LoadTextW(7).size(), 600u);
    StringTable::Install({});
}

TEST(StringTable, WideConversionRoundTripsPolish) {
    std::string s = "Zażółć gęślą jaźń";
    std::wstring w = ToWide(s);
    EXPECT_EQ(w.size(), 17u);
    EXPECT_EQ(ToNarrow(w), s);
    EXPECT_EQ(ToWide(""), L"");
    EXPECT_EQ(ToWide("\xff").size(), 1u); // invalid byte -> replacement
}

TEST(StringTable, SelectLoadsEveryMuiFileOfTheFolder) {
    const korvex::test::TempDir temp{"korvex-lang"};
    const std::string root = temp.Path();
    fs::create_directories(root + "/pl");
    fs::create_directories(root + "/empty");
    std::ofstream(root + "/pl/a.mui") << "9001\tpierwszy\n";
    std::ofstream(root + "/pl/b.mui") << "9002\tdrugi\n9001\tpowtórzony\n";
    setenv("KORVEX_LANG_DIR", root.c_str(), 1);
    EXPECT_EQ(StringTable::Select("pl"), "pl");
    EXPECT_EQ(LoadTextA(9001), "pierwszy");
    EXPECT_EQ(LoadTextA(9002), "drugi");
    EXPECT_EQ(AvailableLanguages(), std::vector<std::string>{"pl"});
    EXPECT_EQ(StringTable::Select("empty"), ""); // no *.mui: English
    EXPECT_EQ(StringTable::Select("../pl"), ""); // never leaves the root
    EXPECT_EQ(LoadTextA(9001), "");
    unsetenv("KORVEX_LANG_DIR");
    StringTable::Install({});
}
