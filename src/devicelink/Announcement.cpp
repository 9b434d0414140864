#include "devicelink/Announcement.h"

#include <cstdio>
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

namespace korvex {
namespace {

// The well-formed UTF-8 sequence at `at`: its length (1 to 4) and code
// point; length 0 when the bytes there are not one (stray continuation
// bytes, overlong forms, surrogates, values above U+10FFFF, a cut sequence).
size_t Utf8At(const std::string& text, size_t at, char32_t& code) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char c = byte(at);
    if (c < 0x80) {
        code = c;
        return 1;
    }
    size_t length;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        code = c & 0x0F;
        low = c == 0xE0 ? 0xA0 : low;
        high = c == 0xED ? 0x9F : high;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        code = c & 0x07;
        low = c == 0xF0 ? 0x90 : low;
        high = c == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    return length;
}

// Characters that change how the display behaves rather than showing
// something: C0 controls and DEL, C1 controls, and the bidirectional marks,
// embeddings, overrides and isolates.
bool ActsOnDisplay(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

std::string DisplayAlias(const std::string& alias) {
    std::string out;
    out.reserve(alias.size());
    for (size_t i = 0; i < alias.size();) {
        char32_t code = 0;
        const size_t n = Utf8At(alias, i, code);
        if (n == 0) {
            out += "\xEF\xBF\xBD"; // U+FFFD for a byte that is not UTF-8
            ++i;
            continue;
        }
        if (!ActsOnDisplay(code)) {
            out.append(alias, i, n);
        } else if (code == '\n' || code == '\r' || code == '\t') {
            out += code == '\n' ? "\\n" : code == '\r' ? "\\r" : "\\t";
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(code));
            out += escape;
        }
        i += n;
    }
    return out;
}

} // namespace korvex
