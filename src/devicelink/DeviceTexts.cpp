#include "devicelink/DeviceTexts.h"

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

uint32_t ParseAddressText(std::string_view text) {
    std::string copy(text); // sscanf needs the terminator
    unsigned o[4] = {0, 0, 0, 0};
    std::sscanf(copy.c_str(), "%u.%u.%u.%u", &o[0], &o[1], &o[2], &o[3]);
    return (o[0] << 24) + (o[1] << 16) + (o[2] << 8) + o[3];
}

std::string CameraFileContent(uint32_t address, uint32_t channel) {
    if (address == 0)
        return "";
    std::string text = HostAddressText(address);
    if (channel != 1)
        text += "?channel=" + std::to_string(channel);
    return text;
}

CameraSetting ParseCameraFile(std::string_view text) {
    CameraSetting setting;
    std::string copy(text);
    unsigned o[4] = {0, 0, 0, 0};
    if (copy.find("?channel=") != std::string::npos) {
        unsigned channel = 0;
        std::sscanf(copy.c_str(), "%u.%u.%u.%u?channel=%u", &o[0], &o[1], &o[2], &o[3], &channel);
        setting.channel = channel;
    } else {
        std::sscanf(copy.c_str(), "%u.%u.%u.%u", &o[0], &o[1], &o[2], &o[3]);
        setting.channel = 1;
    }
    setting.address = (o[0] << 24) + (o[1] << 16) + (o[2] << 8) + o[3];
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
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
} // namespace

std::string SettingsValue(std::string_view text, std::string_view wanted) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;

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
    return "0.0.0.0";
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
    return name != "." && name != ".." && name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
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
