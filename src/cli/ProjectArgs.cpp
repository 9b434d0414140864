#include "cli/ProjectArgs.h"

#include "cli/Cli.h"

#include <algorithm>
#include <cstdio>

namespace korvex::cli {

std::optional<ParsedArgs> ParseArgs(const std::vector<std::string>& args, const std::vector<std::string>& valued,
                                    const std::vector<std::string>& flags, size_t minPositional,
                                    size_t maxPositional, const char* usage) {
    ParsedArgs parsed;
    auto has = [](const std::vector<std::string>& list, const std::string& s) {
        return std::find(list.begin(), list.end(), s) != list.end();
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 1 && a[0] == '-' && a != "--") {
            std::string name = a, value;
            size_t eq = a.find('=');
            bool inlineValue = eq != std::string::npos;
            if (inlineValue) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
            }
            if (has(flags, name) && !inlineValue) {
                parsed.options[name] = "";
            } else if (has(valued, name)) {
                if (!inlineValue) {
                    if (i + 1 >= args.size()) {
                        UsageError(name + " needs a value (" + usage + ")");
                        return std::nullopt;
                    }
                    value = args[++i];
                }
                parsed.options[name] = value;
            } else {
                UsageError("unknown option '" + a + "' (" + usage + ")");
                return std::nullopt;
            }
        } else if (a == "--") {
            parsed.positional.insert(parsed.positional.end(), args.begin() + long(i) + 1, args.end());
            break;
        } else {
            parsed.positional.push_back(a);
        }
    }
    if (parsed.positional.size() < minPositional || parsed.positional.size() > maxPositional) {
        UsageError(std::string("wrong number of arguments (") + usage + ")");
        return std::nullopt;
    }
    return parsed;
}

std::optional<unsigned> ParseNumber(const std::string& text, unsigned max) {
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + unsigned(c - '0');
    }
    if (value > max)
        return std::nullopt;
    return value;
}

namespace {

// Length of the well-formed UTF-8 sequence at `at` (1 to 4), 0 when the
// bytes there are not one (stray continuation bytes, overlong forms,
// surrogates, values above U+10FFFF, a sequence cut short).
size_t Utf8SequenceAt(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char c = byte(at);
    if (c < 0x80)
        return 1;
    size_t length;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0)
            low = 0xA0;
        if (c == 0xED)
            high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0)
            low = 0x90;
        if (c == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    return length;
}

} // namespace

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else if (const size_t n = Utf8SequenceAt(text, i)) {
                out.append(text, i, n);
                i += n;
                continue;
            } else {
                // Bytes that are not UTF-8 (a device name in another
                // encoding, say) would make the whole document invalid.
                out += "\\ufffd";
            }
        }
        ++i;
    }
    return out + "\"";
}

bool WriteStdout(const void* bytes, size_t size) {
    if (size != 0 && std::fwrite(bytes, 1, size, stdout) != size)
        return false;
    return std::fflush(stdout) == 0;
}

} // namespace korvex::cli
