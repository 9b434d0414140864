#include "devicelink/DeviceTexts.h"

#include "framework/StringTable.h"
#include "framework/TextSplit.h"

#include <cstdio>

namespace korvex {

std::string HostAddressText(uint32_t a) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255);
    return text;
}

std::string NetworkAddressText(uint32_t a) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", a & 255, (a >> 8) & 255, (a >> 16) & 255, a >> 24);
    return text;
}

std::string FilledText(unsigned id, std::initializer_list<std::string> values) {
    const std::string format = LoadTextA(id);
    std::string text;
    // One pass, so a value that holds a mark itself stays as it is.
    for (size_t i = 0; i < format.size(); ++i) {
        const size_t k = i + 1 < format.size() ? static_cast<size_t>(format[i + 1] - '1') : values.size();
        if (format[i] == '%' && k < values.size()) {
            text += values.begin()[k];
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}

namespace {
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads an address at the start of `text` (after blanks); `used` is how
// many characters it took.
std::optional<uint32_t> ReadAddress(std::string_view text, size_t& used) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    uint32_t address = 0;
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0) {
            if (i >= text.size() || text[i] != '.')
                return std::nullopt;
            ++i;
        }
        unsigned value = 0;
        size_t digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            value = value * 10 + unsigned(text[i] - '0');
            ++i;
            ++digits;
        }
        // An octet above 255 is no octet: it must never spill into the
        // one before it.
        if (digits == 0 || digits > 3 || value > 255)
            return std::nullopt;
        address = (address << 8) | value;
    }
    used = i;
    return address;
}

bool OnlySpaces(std::string_view text) {
    for (char c : text)
        if (!IsSpace(c))
            return false;
    return true;
}
} // namespace

std::optional<uint32_t> ParseAddressText(std::string_view text) {
    size_t used = 0;
    const std::optional<uint32_t> address = ReadAddress(text, used);
    if (!address || !OnlySpaces(text.substr(used)))
        return std::nullopt;
    return address;
}

std::string CameraFileContent(uint32_t address, uint32_t channel) {
    if (address == 0)
        return "";
    std::string text = HostAddressText(address);
    if (channel != 1)
        text += "?channel=" + std::to_string(channel);
    return text;
}

std::optional<CameraSetting> ParseCameraFile(std::string_view text) {
    size_t used = 0;
    const std::optional<uint32_t> address = ReadAddress(text, used);
    if (!address)
        return std::nullopt;
    CameraSetting setting;
    setting.address = *address;
    std::string_view rest = text.substr(used);
    constexpr std::string_view marker = "?channel=";
    if (rest.substr(0, marker.size()) == marker) {
        rest.remove_prefix(marker.size());
        uint64_t channel = 0;
        size_t digits = 0;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9' &&
               channel <= 0xFFFFFFFFull) {
            channel = channel * 10 + uint64_t(rest[digits] - '0');
            ++digits;
        }
        if (digits == 0 || channel > 0xFFFFFFFFull)
            return std::nullopt;
        setting.channel = uint32_t(channel);
        rest.remove_prefix(digits);
    }
    if (!OnlySpaces(rest))
        return std::nullopt;
    return setting;
}

std::string TrimTrailing(std::string_view text) {
    size_t n = text.size();
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\r' || text[n - 1] == '\n'))
        --n;
    return std::string(text.substr(0, n));
}

namespace {
bool IsKeyChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
} // namespace

std::optional<std::string> SettingsValue(std::string_view text, std::string_view wanted) {
    for (std::string_view line : SplitAt(text, '\n')) {
        size_t i = 0;
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (i == line.size() || line[i] == ';')
            continue; // empty line or a comment line
        size_t keyStart = i;
        while (i < line.size() && IsKeyChar(line[i]))
            ++i;
        if (i == keyStart)
            break; // the line does not start with a key
        std::string_view key = line.substr(keyStart, i - keyStart);
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (i == line.size() || line[i] != '=')
            break; // a key not followed by "="
        ++i;
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        size_t valueEnd = line.find(';', i);
        if (valueEnd == std::string_view::npos)
            valueEnd = line.size();
        while (valueEnd > i && IsBlank(line[valueEnd - 1]))
            --valueEnd;
        if (key == wanted)
            return std::string(line.substr(i, valueEnd - i));
    }
    return std::nullopt;
}

std::string HardwareAddress(std::string_view output) {
    size_t at = output.find("HWaddr ");
    if (at == std::string_view::npos)
        return "";
    return std::string(output.substr(at + 7, 17));
}

bool VersionFromOutput(std::string_view output, std::string& version) {
    size_t cut = output.find_first_of("\r\n");
    if (cut != std::string_view::npos)
        output = output.substr(0, cut);
    if (output.substr(0, 5) != "tavo ")
        return false;
    version = std::string(output.substr(5));
    return true;
}

namespace {
// The names become parts of local paths: a name that is not one plain path
// element (a forged "../" line, say) would let the device write outside the
// local folder, so it is never listed.
bool PlainName(std::string_view name) {
    return name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}
} // namespace

std::vector<std::string> FilterListing(std::string_view output, ListingLevel level) {
    std::vector<std::string> names;
    size_t pos = 0;
    while (pos <= output.size()) {
        size_t end = output.find('\n', pos);
        if (end == std::string_view::npos)
            end = output.size();
        std::string_view piece = output.substr(pos, end - pos);
        pos = end + 1;
        switch (level) {
        case ListingLevel::Cameras:
            if (piece.size() > 3 && piece.substr(0, 3) == "cam" && piece.back() == '/' &&
                PlainName(piece.substr(0, piece.size() - 1)))
                names.emplace_back(piece.substr(0, piece.size() - 1));
            break;
        case ListingLevel::Folders:
            if (piece.size() > 1 && piece.back() == '/' && PlainName(piece.substr(0, piece.size() - 1)))
                names.emplace_back(piece.substr(0, piece.size() - 1));
            break;
        case ListingLevel::Files:
            if (piece.size() >= 5 && piece.substr(piece.size() - 4) == ".mp4" && PlainName(piece))
                names.emplace_back(piece);
            break;
        }
    }
    return names;
}

std::string ShellWord(std::string_view name) {
    bool plain = !name.empty();
    for (char c : name) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          std::string_view("._-+:,@%=").find(c) != std::string_view::npos;
        plain = plain && safe;
    }
    if (plain)
        return std::string(name);
    std::string word = "'";
    for (char c : name) {
        if (c == '\'')
            word += "'\\''";
        else
            word += c;
    }
    return word + "'";
}

std::string HourLine(const std::string& name) {
    if (name.size() < 2)
        return "";
    return name.substr(0, 2) + ":00";
}

} // namespace korvex
