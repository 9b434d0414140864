// The pieces of korvex-cli device --hosts that need no device: the host list,
// the error text and the JSON line of one device.
#include "cli/DeviceResult.h"
#include "cli/Fleet.h"
#include "cli/JsonLine.h"
#include "cli/ProjectArgs.h"
#include "framework/TextSplit.h"

#include <arpa/inet.h>
#include <set>
#include <utility>

namespace korvex::cli {
namespace {

constexpr size_t MaxLine = 1024;
constexpr size_t MaxHosts = 100000;
constexpr size_t MaxErrorText = 2000;

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::string_view line : SplitAt(text, '\n')) {
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
    }
    return lines;
}

} // namespace

HostList ParseHostList(std::string_view text, uint16_t defaultPort, const std::string& source) {
    HostList list;
    std::set<std::pair<std::string, uint16_t>> seen;
    size_t lineNumber = 0;
    size_t pos = 0;
    const auto fail = [&](const std::string& what) {
        list.hosts.clear();
        list.error = source + " line " + std::to_string(lineNumber) + ": " + what;
        return list;
    };
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (line.size() > MaxLine)
            return fail("longer than " + std::to_string(MaxLine) + " characters");
        if (line.find('\0') != std::string_view::npos)
            return fail("holds a zero byte");
        const size_t hash = line.find('#');
        if (hash != std::string_view::npos)
            line = line.substr(0, hash);
        line = Trim(line);
        if (line.empty())
            continue;
        if (line.find_first_of(" \t") != std::string_view::npos)
            return fail("one HOST[:PORT] a line, found '" + std::string(line) + "'");
        std::string host(line);
        uint16_t port = defaultPort;
        const size_t colon = host.find(':');
        if (colon != std::string::npos) {
            const std::string portText = host.substr(colon + 1);
            host.resize(colon);
            unsigned long value = 0;
            if (portText.empty() || portText.size() > 5 ||
                portText.find_first_not_of("0123456789") != std::string::npos ||
                (value = std::stoul(portText)) == 0 || value > 65535)
                return fail("the port of '" + std::string(line) + "' is not a number from 1 to 65535");
            port = static_cast<uint16_t>(value);
        }
        in_addr address{};
        if (inet_pton(AF_INET, host.c_str(), &address) != 1)
            return fail("'" + host + "' is not an IPv4 address");
        if (!seen.insert({host, port}).second) {
            list.notes.push_back(source + " line " + std::to_string(lineNumber) + ": " + host + ":" +
                                 std::to_string(port) + " is listed before; run once");
            continue;
        }
        if (list.hosts.size() >= MaxHosts)
            return fail("more than " + std::to_string(MaxHosts) + " devices");
        list.hosts.push_back({host, port, lineNumber});
    }
    return list;
}

std::string FleetErrorText(const std::vector<std::string>& messages, const std::string& fallback) {
    std::string text;
    for (const std::string& message : messages) {
        for (const std::string& line : Lines(message)) {
            const std::string_view trimmed = Trim(line);
            if (trimmed.empty())
                continue;
            if (!text.empty())
                text += "; ";
            text += trimmed;
        }
    }
    if (text.size() > MaxErrorText) {
        size_t cut = MaxErrorText;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut; // never in the middle of a character
        text.resize(cut);
        text += "...";
    }
    return text.empty() ? fallback : text;
}

std::string FleetLine(const FleetHost& host, bool ok, const nlohmann::ordered_json& resultOrError) {
    nlohmann::ordered_json line = {{"host", host.host}, {"port", host.port}, {"ok", ok}};
    line[ok ? "result" : "error"] = resultOrError;
    return JsonLine(line);
}

std::string ExpandDevicePattern(const std::string& pattern, const FleetHost& host) {
    std::string out;
    for (size_t i = 0; i < pattern.size();) {
        if (pattern.compare(i, 6, "{host}") == 0) {
            out += host.host;
            i += 6;
        } else if (pattern.compare(i, 6, "{port}") == 0) {
            out += std::to_string(host.port);
            i += 6;
        } else {
            out += pattern[i++];
        }
    }
    return out;
}

bool NamesHostList(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--hosts")
            return true;
        if (a == "--host" || a == "--port" || a == "--user" || a == "--known-hosts" || a == "--parallel" ||
            a == "--timeout")
            ++i; // skips the value
        else if (a.rfind("--", 0) != 0)
            return false; // the operation word: what follows is its own
    }
    return false;
}

} // namespace korvex::cli
