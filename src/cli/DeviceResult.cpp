#include "cli/DeviceResult.h"

#include "devicelink/DeviceTexts.h"
#include "framework/TextSplit.h"

#include <type_traits>
#include <utility>
#include <vector>

namespace korvex::cli::device {
namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

std::string Address(const std::optional<uint32_t>& address) {
    return address ? HostAddressText(*address) : "missing";
}

// One camera row as network-show gives it: ADDR[?channel=N], "none" or
// "missing".
std::string CameraText(const NetworkSnapshot::Camera& camera) {
    if (camera.address)
        return CameraFileContent(*camera.address, camera.channel.value_or(1));
    return camera.missing ? "missing" : "none";
}

// Rows of the network settings, keyed as network-show prints them.
Rows NetworkRows(const NetworkSnapshot& n) {
    const uint32_t cameras = std::min<uint32_t>(n.cameraCount, 4);
    Rows rows = {{"ipaddr", Address(n.ipAddress)},
                 {"netmask", Address(n.netmask)},
                 {"gateway", Address(n.gateway)},
                 {"hwaddr", n.hardwareAddress.value_or("")},
                 {"controller", n.controllerUsed ? Address(n.controller) : "none"},
                 {"cameras", std::to_string(cameras)}};
    for (uint32_t k = 0; k < cameras; ++k)
        rows.emplace_back("camera " + std::to_string(k), CameraText(n.cameras[k]));
    rows.emplace_back("pass", n.passText.value_or(""));
    return rows;
}

bool PlainNumber(const std::string& s) {
    return !s.empty() && s.size() <= 15 && s.find_first_not_of("0123456789") == std::string::npos &&
           (s.size() == 1 || s[0] != '0');
}

// The lines of a text; a line's closing carriage return is not part of it.
std::vector<std::string> TextLines(const std::string& text) {
    const std::string ended = text + "\n";
    std::vector<std::string> lines;
    for (std::string_view line : SplitAt(ended, '\n')) {
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
    }
    return lines;
}

const char* ClockText(const ClockReport& clock) {
    return clock.set ? "device clock set" : "device clock in step";
}

// What a result shows, whatever the form: a text, lines or rows.
struct Shown {
    enum Kind { None, Text, Lines, Network } kind = None;
    std::string text;
    std::vector<std::string> lines;
    Rows rows;
};

Shown Show(const DeviceResult& result) {
    return std::visit(
        [&](const auto& value) -> Shown {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, VersionInfo>)
                return {Shown::Text, VersionText(value), {}, {}};
            else if constexpr (std::is_same_v<T, NetworkSnapshot>)
                return {Shown::Network, "", {}, NetworkRows(value)};
            else if constexpr (std::is_same_v<T, Listing>)
                return {Shown::Lines, "", value.lines, {}};
            else if constexpr (std::is_same_v<T, ClockReport>)
                return {Shown::Text, ClockText(value), {}, {}};
            else if (!result.status.empty())
                return {Shown::Text, result.status, {}, {}};
            else
                return {};
        },
        result.value);
}

} // namespace

std::string ResultText(const DeviceResult& result) {
    const Shown shown = Show(result);
    std::string text;
    switch (shown.kind) {
    case Shown::None:
        break;
    case Shown::Text:
        text = shown.text + "\n";
        break;
    case Shown::Lines:
        for (const std::string& line : shown.lines)
            text += line + "\n";
        break;
    case Shown::Network:
        for (const auto& [key, value] : shown.rows)
            text += key + ": " + value + "\n";
        break;
    }
    return text;
}

nlohmann::ordered_json ResultJson(const DeviceResult& result) {
    const Shown shown = Show(result);
    switch (shown.kind) {
    case Shown::None:
        return nullptr;
    case Shown::Text: {
        const std::vector<std::string> lines = TextLines(shown.text);
        return lines.size() == 1 ? nlohmann::ordered_json(lines[0]) : nlohmann::ordered_json(lines);
    }
    case Shown::Lines:
        return nlohmann::ordered_json(shown.lines);
    case Shown::Network: {
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        for (auto [key, value] : shown.rows) {
            for (char& c : key)
                if (c == ' ')
                    c = '_';
            object[key] = PlainNumber(value) ? nlohmann::ordered_json(std::stoull(value))
                                             : nlohmann::ordered_json(value);
        }
        return object;
    }
    }
    return nullptr;
}

} // namespace korvex::cli::device
