#include "cli/DeviceResult.h"

#include "cli/ProjectArgs.h"
#include "framework/TextSplit.h"

namespace korvex::cli::device {
namespace {

// Rows of the network settings, keyed as network-show prints them.
std::vector<std::pair<std::string, std::string>> NetworkRows(const NetworkPrintout& n) {
    std::vector<std::pair<std::string, std::string>> rows = {
        {"ipaddr", n.ipaddr}, {"netmask", n.netmask},       {"gateway", n.gateway},
        {"hwaddr", n.hwaddr}, {"controller", n.controller}, {"cameras", std::to_string(n.cameras.size())}};
    for (size_t k = 0; k < n.cameras.size(); ++k)
        rows.emplace_back("camera " + std::to_string(k), n.cameras[k]);
    rows.emplace_back("pass", n.pass);
    return rows;
}

bool PlainNumber(const std::string& s) {
    return !s.empty() && s.size() <= 15 && s.find_first_not_of("0123456789") == std::string::npos &&
           (s.size() == 1 || s[0] != '0');
}

std::string LineArray(const std::vector<std::string>& lines) {
    std::string json = "[";
    for (size_t i = 0; i < lines.size(); ++i)
        json += (i ? ", " : "") + JsonString(lines[i]);
    return json + "]";
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

std::string NetworkJson(const NetworkPrintout& n) {
    std::string json = "{";
    for (auto [key, value] : NetworkRows(n)) {
        for (char& c : key)
            if (c == ' ')
                c = '_';
        json += (json.size() > 1 ? ", " : "") + JsonString(key) + ": " +
                (PlainNumber(value) ? value : JsonString(value));
    }
    return json + "}";
}

struct TextPrinter {
    std::string operator()(std::monostate) const { return ""; }
    std::string operator()(const TextResult& t) const { return t.text + "\n"; }
    std::string operator()(const LinesResult& l) const {
        std::string text;
        for (const std::string& line : l.lines)
            text += line + "\n";
        return text;
    }
    std::string operator()(const NetworkPrintout& n) const {
        std::string text;
        for (const auto& [key, value] : NetworkRows(n))
            text += key + ": " + value + "\n";
        return text;
    }
};

struct JsonPrinter {
    std::string operator()(std::monostate) const { return "null"; }
    std::string operator()(const TextResult& t) const {
        const std::vector<std::string> lines = TextLines(t.text);
        return lines.size() == 1 ? JsonString(lines[0]) : LineArray(lines);
    }
    std::string operator()(const LinesResult& l) const { return LineArray(l.lines); }
    std::string operator()(const NetworkPrintout& n) const { return NetworkJson(n); }
};

} // namespace

std::string ResultText(const ResultValue& value) {
    return std::visit(TextPrinter{}, value);
}

std::string ResultJson(const ResultValue& value) {
    return std::visit(JsonPrinter{}, value);
}

} // namespace korvex::cli::device
