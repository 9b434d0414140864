// Language files (string tables) on arbitrary text: parsing never fails,
// and every text it keeps can be looked up and formatted as the program
// formats its messages.
#include "files/Problems.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korvex;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::map<unsigned, std::string> table = StringTable::Parse(text);
    for (const auto& [id, value] : table) {
        if (value.size() > size)
            std::abort(); // a text longer than the file it came from
        // Problem lines put card letters and numbers into these texts.
        volatile size_t n = FormatText(value, {"A", "12"}).size();
        (void)n;
    }
    StringTable::Install(std::move(table));
    volatile size_t m =
        LoadTextA(text::problems_number_range).size() + LoadTextA(text::io_open_failed).size();
    (void)m;
    StringTable::Install({});
    return 0;
}
