#pragma once

// Programs kept before an upload replaces them: one folder per device under
// the user's data folder, one file per kept program, named by the UTC time
// it was kept, the newest `limit` of them kept.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

class ProgramHistory {
public:
    struct Entry {
        std::string path; // full path of the kept file
        std::string name; // "20261207T112728.123Z.kvx"
        uint64_t size = 0;
    };

    static constexpr size_t DefaultLimit = 20;

    // `root` "" = DefaultRoot().
    explicit ProgramHistory(std::string root = "", size_t limit = DefaultLimit);

    // $XDG_DATA_HOME/korvex/history, or ~/.local/share/korvex/history.
    static std::string DefaultRoot();

    const std::string& Root() const { return root; }
    // The folder of one device ("<root>/<address>"). Error text::device_history_bad_address for an
    // address that is not a plain dotted IPv4 text.
    std::string FolderOf(const std::string& address) const;

    // Writes `data` as a new entry of `address` named by `utc100ns` (100-ns
    // units since 1601, as the session's clock gives them), then removes the
    // oldest entries beyond the limit. A name already taken moves on by a
    // millisecond. Returns the new entry's path; when the newest entry holds
    // the same bytes nothing is written and its path is returned. File
    // errors are raised.
    std::string Keep(const std::string& address, const void* data, size_t size, uint64_t utc100ns);

    // The kept programs of `address`, newest first (empty when none).
    std::vector<Entry> List(const std::string& address) const;

    // The UTC time an entry's name gives, "YYYY-MM-DD HH:MM:SS" ("" for a
    // name that is not an entry's).
    static std::string EntryTimeText(const std::string& name);

    // The name an entry kept at `utc100ns` gets.
    static std::string EntryName(uint64_t utc100ns);

private:
    std::string root;
    size_t limit;
};

} // namespace korvex
