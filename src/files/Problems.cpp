#include "files/Problems.h"

#include "composer/Composer.h"
#include "composer/ExpressionChecks.h"
#include "files/ProjectFile.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
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
        int ca = std::tolower(static_cast<unsigned char>(a[i])),
            cb = std::tolower(static_cast<unsigned char>(b[i]));
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

namespace {

// The lines that stop an upload, unsorted.
std::vector<std::string> BlockingLines(const RenderState& state) {
    std::vector<std::string> lines;
    const auto& detectors = state.detectors;
    // One duplicate line per pair of equally named detectors: how many
    // later detectors share each name is counted once (no pairwise scan),
    // and the lines stop at what a full state (kMaxDetectors, all sharing
    // one name) can give, so an oversized state cannot ask for more.
    std::map<std::pair<uint32_t, uint32_t>, size_t> remaining;
    for (const Detector& d : detectors)
        ++remaining[{d.card, d.number}];
    size_t duplicateBudget = kMaxDetectors * (kMaxDetectors - 1) / 2;
    for (const Detector& d : detectors) {
        std::string letter(1, static_cast<char>('A' + d.card));
        std::string number = std::to_string(d.number);
        if (d.number == 0 || d.number > 32)
            lines.push_back(FormatText(LoadTextA(text::problems_number_range), {letter, number}));
        size_t later = --remaining[{d.card, d.number}];
        later = std::min(later, duplicateBudget);
        duplicateBudget -= later;
        if (later > 0) {
            const std::string line = FormatText(LoadTextA(text::problems_number_taken), {letter, number});
            lines.insert(lines.end(), later, line);
        }
    }
    auto rows = [&](const std::vector<ComposerItem>& list, auto name) {
        for (size_t i = 0; i < list.size(); ++i)
            if (auto missing = FirstMissing(state, list[i]))
                lines.push_back(FormatText(LoadTextA(text::problems_unknown_detector), {name(i), *missing}));
    };
    rows(state.composer_y, [](size_t i) { return std::string(1, 'Y') += std::to_string(i + 1); });
    rows(state.composer_z, [](size_t i) { return std::string(1, 'Z') += std::to_string(i + 1); });
    rows(state.composer_a, [](size_t i) { return std::string(1, static_cast<char>('A' + i)) + "c"; });
    return lines;
}

void AppendSorted(std::vector<std::string> texts, bool warning, std::vector<ProblemLine>& out) {
    std::stable_sort(texts.begin(), texts.end(), LessIgnoringCase);
    for (std::string& text : texts)
        out.push_back({std::move(text), warning});
}

} // namespace

std::vector<ProblemLine> ListProblems(const RenderState& state) {
    std::vector<ProblemLine> lines;
    AppendSorted(BlockingLines(state), false, lines);
    std::vector<std::string> warnings;
    for (const ExpressionFinding& finding : CheckExpressions(state))
        warnings.push_back(FormatText(LoadTextA(finding.code), {finding.row, finding.detail}));
    AppendSorted(std::move(warnings), true, lines);
    return lines;
}

bool HasBlockingProblems(const RenderState& state) {
    return !BlockingLines(state).empty();
}

std::vector<std::string> ProblemLines(const RenderState& state) {
    std::vector<std::string> texts;
    for (ProblemLine& line : ListProblems(state))
        texts.push_back(std::move(line.text));
    return texts;
}

} // namespace korvex
