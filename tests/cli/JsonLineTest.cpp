// The one JSON writer of korvex-cli: layout, key order, nesting and the
// escaping of whatever text a project or a device holds.
#include "cli/JsonLine.h"

#include <gtest/gtest.h>

namespace korvex::cli {
namespace {

struct Case {
    const char* what;
    Json value;
    std::string text;
};

TEST(JsonLine, WritesEveryValueOnOneLineInTheOrderGiven) {
    const Case cases[] = {
        {"keys in the order added",
         {{"subject", "B4"}, {"card", 1}, {"equal", false}},
         R"({"subject": "B4", "card": 1, "equal": false})"},
        {"nested",
         {{"changes", Json::array({Json{{"kind", "x"}}, Json{{"kind", "y"}}})}},
         R"({"changes": [{"kind": "x"}, {"kind": "y"}]})"},
        {"empty containers", {{"a", Json::array()}, {"o", Json::object()}}, R"({"a": [], "o": {}})"},
        {"points", Json::array({Json::array({-3, 4}), Json::array({0, 0})}), "[[-3, 4], [0, 0]]"},
        {"null, bool, number", Json::array({nullptr, true, 0.87, 4294967295u}),
         "[null, true, 0.87, 4294967295]"},
        {"quotes and backslashes", "Brama \"P\\3\"", R"("Brama \"P\\3\"")"},
        {"line ends and tabs", "a\nb\r\tc", R"("a\nb\r\tc")"},
        {"other control characters",
         std::string("a\x01"
                     "b\0c",
                     5),
         R"("a\u0001b\u0000c")"},
        {"UTF-8 kept", "Brama \xc5\xbc \xf0\x9f\x93\xb7", "\"Brama \xc5\xbc \xf0\x9f\x93\xb7\""},
        {"a Windows-1250 byte", "Gate \xb3", "\"Gate \xef\xbf\xbd\""},
        {"cut short", "\xc5", "\"\xef\xbf\xbd\""},
        {"bad bytes in a key", {{"k\xff", 1}}, "{\"k\xef\xbf\xbd\": 1}"},
    };
    for (const Case& c : cases) {
        const std::string text = JsonLine(c.value);
        EXPECT_EQ(text, c.text) << c.what;
        // Always a document a JSON reader takes.
        EXPECT_TRUE(Json::accept(text)) << c.what;
    }
}

} // namespace
} // namespace korvex::cli
