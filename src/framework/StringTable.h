#pragma once

#include <map>
#include <string>
#include <string_view>

namespace korvex {

// The user-visible texts, looked up by number. A language folder holds one
// or more "*.mui" files (read in name order; the first file naming an id
// wins); each holds one
// "id<TAB>text" or "id key<TAB>text" line per string, UTF-8 (the key, letters,
// digits, '_' and '.', names the text in the code; see framework/TextIds.h); in the text "\n", "\t" and "\\"
// stand for a line end, a tab and a backslash. Lines that are empty or start with
// '#' are ignored. English is compiled into the program as the fallback for
// any id the chosen language lacks; an id missing everywhere gives "".
class StringTable {
public:
    // Parses the text of a language file; malformed lines are skipped.
    static std::map<unsigned, std::string> Parse(std::string_view text);

    // Selects the language: `name` is a folder beside the program holding a
    // "*.mui" file ("auto" picks one from the environment's locale).
    // Returns the folder name actually used ("" = compiled-in English).
    static std::string Select(const std::string& name);

    // Replaces the active table (tests, and languages loaded from elsewhere).
    static void Install(std::map<unsigned, std::string> table);

    static std::string Lookup(unsigned id);

    // The compiled-in English table.
    static const std::map<unsigned, std::string>& English();
};

// The text of string `id` (UTF-8), at most 1023 bytes, cut on a character
// boundary; "" when the id is unknown.
std::string LoadTextA(unsigned id);

// The same as a wide text.
std::wstring LoadTextW(unsigned id);

// UTF-8 to wide text; the empty text stays empty. Invalid bytes become U+FFFD.
std::wstring ToWide(std::string_view text);

// Wide text to UTF-8.
std::string ToNarrow(std::wstring_view text);

// Folder that holds the language folders: $KORVEX_LANG_DIR when set,
// otherwise ResourceDirectory() (the program's own folder in a build tree,
// <prefix>/share/korvex when installed).
std::string LanguageRoot();

} // namespace korvex
