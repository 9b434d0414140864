#include "devicelink/ProgramHistory.h"

#include "framework/AtomicFile.h"
#include "framework/BinaryFile.h"
#include "framework/LocalException.h"
#include "framework/TextIds.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <mutex>
#include <sys/stat.h>

namespace korvex {

namespace {

bool IsEntryName(const std::string& name) {
    // "YYYYMMDDTHHMMSS.mmmZ.kvx"
    if (name.size() != 24 || name.compare(20, 4, ".kvx") != 0 || name[8] != 'T' || name[15] != '.' ||
        name[19] != 'Z')
        return false;
    for (size_t i : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u, 10u, 11u, 12u, 13u, 14u, 16u, 17u, 18u})
        if (name[i] < '0' || name[i] > '9')
            return false;
    return true;
}

// 100-ns units since 1601 of an entry name (IsEntryName holds).
uint64_t EntryTime(const std::string& name) {
    auto number = [&](size_t at, size_t n) { return std::atoi(name.substr(at, n).c_str()); };
    std::tm t{};
    t.tm_year = number(0, 4) - 1900;
    t.tm_mon = number(4, 2) - 1;
    t.tm_mday = number(6, 2);
    t.tm_hour = number(9, 2);
    t.tm_min = number(11, 2);
    t.tm_sec = number(13, 2);
    const int64_t unixSeconds = static_cast<int64_t>(timegm(&t));
    const uint64_t unixMs = static_cast<uint64_t>(unixSeconds) * 1000 + static_cast<uint64_t>(number(16, 3));
    return (unixMs + 11644473600000ULL) * 10000;
}

bool IsDottedAddress(const std::string& text) {
    unsigned parts = 0, digits = 0, value = 0;
    for (char c : text) {
        if (c == '.') {
            if (digits == 0)
                return false;
            ++parts;
            digits = value = 0;
        } else if (c >= '0' && c <= '9' && digits < 3) {
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > 255)
                return false;
            ++digits;
        } else {
            return false;
        }
    }
    return parts == 3 && digits > 0;
}

void MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700);
    ::mkdir(path.c_str(), 0700);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace

ProgramHistory::ProgramHistory(std::string root, size_t limit)
    : root(root.empty() ? DefaultRoot() : std::move(root)), limit(limit ? limit : 1) {}

std::string ProgramHistory::DefaultRoot() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data && data[0] == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && home[0] ? home : ".") + "/.local/share";
    }
    return base + "/korvex/history";
}

std::string ProgramHistory::FolderOf(const std::string& address) const {
    if (!IsDottedAddress(address))
        RaiseError(text::device_history_bad_address);
    return root + "/" + address;
}

std::string ProgramHistory::EntryName(uint64_t utc100ns) {
    const uint64_t unixMs = utc100ns / 10000 - 11644473600000ULL;
    const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm t{};
    gmtime_r(&seconds, &t);
    char name[96];
    std::snprintf(name, sizeof name, "%04d%02d%02dT%02d%02d%02d.%03uZ.kvx", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<unsigned>(unixMs % 1000));
    return name;
}

std::string ProgramHistory::EntryTimeText(const std::string& name) {
    if (!IsEntryName(name))
        return "";
    return name.substr(0, 4) + "-" + name.substr(4, 2) + "-" + name.substr(6, 2) + " " + name.substr(9, 2) +
           ":" + name.substr(11, 2) + ":" + name.substr(13, 2);
}

std::string ProgramHistory::Keep(const std::string& address, const void* data, size_t size,
                                 uint64_t utc100ns) {
    // Sessions of one process (korvex-cli serving several devices behind one
    // address) may keep programs at the same moment: choosing a free name
    // and writing it is one step, or both would take the same name and one
    // program would be lost.
    static std::mutex keeping;
    std::lock_guard<std::mutex> guard(keeping);
    const std::string folder = FolderOf(address);
    MakeFolders(folder);
    // Never before the newest entry, so that "newest" stays the one kept last
    // even when the clock went back.
    const std::vector<Entry> before = List(address);
    // A program the same as the newest kept one is not kept again: failed
    // or repeated uploads would otherwise push older, different programs
    // out of the history with copies of one.
    if (!before.empty() && before.front().size == size) {
        try {
            const std::vector<uint8_t> newest = BinaryFile::ReadAll(before.front().path);
            if (newest.size() == size && (size == 0 || std::memcmp(newest.data(), data, size) == 0))
                return before.front().path;
        } catch (const std::exception&) {
            // An unreadable newest entry is no reason to lose this program.
        }
    }
    uint64_t t = utc100ns;
    if (!before.empty() && EntryName(t) <= before.front().name)
        t = EntryTime(before.front().name) + 10000;
    std::string path = folder + "/" + EntryName(t);
    while (Exists(path)) {
        t += 10000;
        path = folder + "/" + EntryName(t);
    }
    AtomicFile::WriteAll(path, data, size);
    const std::vector<Entry> all = List(address);
    for (size_t i = limit; i < all.size(); ++i)
        std::remove(all[i].path.c_str());
    return path;
}

std::vector<ProgramHistory::Entry> ProgramHistory::List(const std::string& address) const {
    std::vector<Entry> entries;
    const std::string folder = FolderOf(address);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return entries;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (!IsEntryName(name))
            continue;
        struct stat info {};
        const std::string path = folder + "/" + name;
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        entries.push_back(Entry{path, name, static_cast<uint64_t>(info.st_size)});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name > b.name; });
    return entries;
}

} // namespace korvex
