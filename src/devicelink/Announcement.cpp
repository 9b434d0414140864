#include "devicelink/Announcement.h"

#include <cstring>

namespace korvex {

namespace {
bool StartsWith(const char* p, const char* end, const char* text) {
    size_t n = std::strlen(text);
    return static_cast<size_t>(end - p) >= n && std::memcmp(p, text, n) == 0;
}
} // namespace

std::string ParseAnnouncement(const char* payload, size_t size) {
    std::string alias;
    const char* p = payload;
    const char* end = payload + size;
    if (!StartsWith(p, end, "VISION\n"))
        return alias;
    p += 7;
    // A zero byte ends the payload just as its end does.
    while (p < end && *p != '\0') {
        if (StartsWith(p, end, "acting as tavo\n")) {
            p += 15;
        } else if (StartsWith(p, end, "alias `")) {
            p += 7;
            alias.clear();
            while (p < end && *p != '`' && *p != '\n' && *p != '\0' && alias.size() < 63)
                alias.push_back(*p++);
            if (StartsWith(p, end, "`\n"))
                p += 2;
            else
                break;
        } else {
            break;
        }
    }
    return alias;
}

} // namespace korvex
