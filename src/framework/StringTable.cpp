#include "framework/StringTable.h"

#include "framework/Language.h"
#include "framework/TextSplit.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <shared_mutex>
#include <sstream>
#include <sys/stat.h>
#include <vector>

namespace korvex {

extern const char* const kEnglishStrings; // generated from lang/en/korvex.mui

namespace {

std::shared_mutex gLock;
std::map<unsigned, std::string>* gActive = nullptr;

std::string Unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            char c = s[i + 1];
            if (c == 'n') {
                out += '\n';
                ++i;
                continue;
            }
            if (c == 't') {
                out += '\t';
                ++i;
                continue;
            }
            if (c == '\\') {
                out += '\\';
                ++i;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

bool HasMuiFile(const std::string& folder) {
    DIR* d = opendir(folder.c_str());
    if (!d)
        return false;
    bool found = false;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 4 && n.compare(n.size() - 4, 4, ".mui") == 0) {
            found = true;
            break;
        }
    }
    closedir(d);
    return found;
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Every "*.mui" file of a language folder, in name order.
std::vector<std::string> MuiFilesIn(const std::string& folder) {
    std::vector<std::string> files;
    DIR* d = opendir(folder.c_str());
    if (!d)
        return files;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 4 && n.compare(n.size() - 4, 4, ".mui") == 0)
            files.push_back(folder + "/" + n);
    }
    closedir(d);
    std::sort(files.begin(), files.end());
    return files;
}

// "pl_PL.UTF-8" -> "pl"
std::string LocaleLanguage() {
    for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) {
            std::string s = v;
            size_t cut = s.find_first_of("_.@:");
            return s.substr(0, cut);
        }
    }
    return {};
}

// The part of a line before its tab: the number, optionally followed by one
// blank and the text's key ("231" or "231 session.create_failed"). The key
// only matters to the build, which names the texts after it; here it is
// checked for shape and skipped. Gives false for anything else.
bool ParseIdField(std::string_view field, unsigned& id) {
    size_t blank = field.find(' ');
    std::string_view digits = field.substr(0, blank);
    if (digits.empty() || digits.size() > 9)
        return false;
    id = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        id = id * 10 + unsigned(c - '0');
    }
    if (blank == std::string_view::npos)
        return true;
    std::string_view key = field.substr(blank + 1);
    if (key.empty() || key.size() > 80 || key[0] < 'a' || key[0] > 'z')
        return false;
    for (char c : key) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.';
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

std::map<unsigned, std::string> StringTable::Parse(std::string_view text) {
    std::map<unsigned, std::string> table;
    for (std::string_view line : SplitAt(text, '\n')) {
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line[0] == '#')
            continue;
        size_t tab = line.find('\t');
        if (tab == std::string_view::npos)
            continue;
        unsigned id = 0;
        if (!ParseIdField(line.substr(0, tab), id))
            continue;
        table.emplace(id, Unescape(line.substr(tab + 1)));
    }
    return table;
}

const std::map<unsigned, std::string>& StringTable::English() {
    static const std::map<unsigned, std::string> table = Parse(kEnglishStrings);
    return table;
}

void StringTable::Install(std::map<unsigned, std::string> table) {
    std::unique_lock lock(gLock);
    delete gActive;
    gActive = new std::map<unsigned, std::string>(std::move(table));
}

std::string LanguageRoot() {
    const char* env = std::getenv("KORVEX_LANG_DIR");
    if (env && *env)
        return env;
    return ResourceDirectory();
}

std::string StringTable::Select(const std::string& name) {
    std::string root = LanguageRoot();
    std::string chosen;
    if (name == "auto") {
        std::string lang = LocaleLanguage();
        if (!lang.empty() && HasMuiFile(root + "/" + lang))
            chosen = lang;
    } else if (!name.empty() && name.find('/') == std::string::npos && name != "." && name != ".." &&
               HasMuiFile(root + "/" + name)) {
        chosen = name;
    }
    std::map<unsigned, std::string> table;
    if (!chosen.empty()) {
        for (const std::string& file : MuiFilesIn(root + "/" + chosen)) {
            auto part = Parse(ReadWhole(file));
            table.insert(part.begin(), part.end());
        }
    }
    Install(std::move(table));
    return chosen;
}

std::string StringTable::Lookup(unsigned id) {
    {
        std::shared_lock lock(gLock);
        if (gActive) {
            auto it = gActive->find(id);
            if (it != gActive->end())
                return it->second;
        }
    }
    const auto& en = English();
    auto it = en.find(id);
    return it == en.end() ? std::string() : it->second;
}

std::string LoadTextA(unsigned id) {
    std::string s = StringTable::Lookup(id);
    if (s.size() > 1023) {
        size_t cut = 1023;
        while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80)
            --cut;
        s.resize(cut);
    }
    return s;
}

std::wstring LoadTextW(unsigned id) {
    std::wstring w = ToWide(StringTable::Lookup(id));
    if (w.size() > 1023)
        w.resize(1023);
    return w;
}

std::wstring ToWide(std::string_view s) {
    std::wstring out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        unsigned cp;
        size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            len = 4;
        } else {
            out += wchar_t(0xFFFD);
            ++i;
            continue;
        }
        if (i + len > s.size()) {
            out += wchar_t(0xFFFD);
            break;
        }
        bool ok = true;
        for (size_t k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            out += wchar_t(0xFFFD);
            ++i;
            continue;
        }
        out += wchar_t(cp);
        i += len;
    }
    return out;
}

std::string ToNarrow(std::wstring_view w) {
    std::string out;
    for (wchar_t wc : w) {
        unsigned cp = static_cast<unsigned>(wc);
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

} // namespace korvex
