#include "files/Problems.h"

#include "composer/Composer.h"
#include "composer/ExpressionChecks.h"
#include "framework/StringTable.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

namespace korvex {

std::string FormatText(const std::string& format, const std::vector<std::string>& args) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        size_t j = i + 1;
        if (format[j] == '%') {
            out += '%';
            i = j;
            continue;
        }
        while (j < format.size() && std::strchr("-+ #0123456789.lhz", format[j]))
            ++j;
        if (j < format.size() && std::strchr("scudix", format[j])) {
            if (next < args.size())
                out += args[next];
            ++next;
            i = j;
        } else {
            out += format[i];
        }
    }
    return out;
}

namespace {

std::string DetectorName(uint32_t card, uint32_t number) {
    std::string name(1, static_cast<char>('A' + card));
    return name + std::to_string(number);
}

bool Exists(const RenderState& state, uint32_t card, uint32_t number) {
    for (const Detector& d : state.detectors)
        if (d.card == card && d.number == number)
            return true;
    return false;
}

// The first reference to a missing detector, depth first, a node before
// its children.
std::optional<std::string> FirstMissing(const RenderState& state, const ComposerItem& item) {
    int32_t card = CardOfInputKind(item.kind);
    if (card >= 0) {
        uint32_t number = static_cast<uint32_t>(item.number);
        if (!Exists(state, static_cast<uint32_t>(card), number))
            return DetectorName(static_cast<uint32_t>(card), number);
    }
    for (const ComposerItem& child : item.children)
        if (auto missing = FirstMissing(state, child))
            return missing;
    return std::nullopt;
}

// Alphabetical order as a sorted list shows it: case does not count, and
// blanks and punctuation come before digits, digits before letters, so
// "Detector A1: ..." is listed before "Detector A10: ...".
int CharRank(unsigned char c) {
    if (c <= ' ')
        return 0;
    if (c >= 0x80)
        return 4;
    if (std::isdigit(c))
        return 2;
    if (std::isalpha(c))
        return 3;
    return 1;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int ca = std::tolower(static_cast<unsigned char>(a[i])), cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca == cb)
            continue;
        int ra = CharRank(static_cast<unsigned char>(ca)), rb = CharRank(static_cast<unsigned char>(cb));
        return ra != rb ? ra < rb : ca < cb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

} // namespace

std::vector<std::string> ProblemLines(const RenderState& state) {
    std::vector<std::string> lines;
    const auto& detectors = state.detectors;
    for (size_t i = 0; i < detectors.size(); ++i) {
        const Detector& d = detectors[i];
        std::string letter(1, static_cast<char>('A' + d.card));
        std::string number = std::to_string(d.number);
        if (d.number == 0 || d.number > 32)
            lines.push_back(FormatText(LoadTextA(215), {letter, number}));
        for (size_t j = i + 1; j < detectors.size(); ++j)
            if (detectors[j].card == d.card && detectors[j].number == d.number)
                lines.push_back(FormatText(LoadTextA(216), {letter, number}));
    }
    auto rows = [&](const std::vector<ComposerItem>& list, auto name) {
        for (size_t i = 0; i < list.size(); ++i)
            if (auto missing = FirstMissing(state, list[i]))
                lines.push_back(FormatText(LoadTextA(214), {name(i), *missing}));
    };
    rows(state.composer_y, [](size_t i) { return std::string(1, 'Y') += std::to_string(i + 1); });
    rows(state.composer_z, [](size_t i) { return std::string(1, 'Z') += std::to_string(i + 1); });
    rows(state.composer_a, [](size_t i) { return std::string(1, static_cast<char>('A' + i)) + "c"; });
    for (const ExpressionFinding& finding : CheckExpressions(state))
        lines.push_back(FormatText(LoadTextA(finding.code), {finding.row, finding.detail}));
    std::stable_sort(lines.begin(), lines.end(), LessIgnoringCase);
    return lines;
}

} // namespace korvex
