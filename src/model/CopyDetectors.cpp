#include "model/CopyDetectors.h"

#include <algorithm>
#include <set>

namespace korvex {

namespace {

constexpr uint32_t HighestNumber = 32;

uint32_t FreeNumber(const std::set<uint32_t>& taken, uint32_t wanted) {
    if (!taken.count(wanted))
        return wanted;
    for (uint32_t n = wanted + 1; n <= HighestNumber; ++n)
        if (!taken.count(n))
            return n;
    for (uint32_t n = 1; n <= HighestNumber; ++n)
        if (!taken.count(n))
            return n;
    return *taken.rbegin() + 1;
}

} // namespace

CopyOutcome CopyDetectorsToCard(Document& document, uint32_t from, uint32_t to) {
    CopyOutcome outcome;
    const RenderState& current = document.Current();
    if (from == to) {
        outcome.refusal = CopyRefusal::SameCard;
        return outcome;
    }
    if (to >= 8 || to >= current.backgrounds.size()) {
        outcome.refusal = CopyRefusal::NoSuchCard;
        return outcome;
    }
    std::set<uint32_t> taken;
    std::vector<size_t> sources;
    for (size_t i = 0; i < current.detectors.size(); ++i) {
        if (current.detectors[i].card == to)
            taken.insert(current.detectors[i].number);
        if (current.detectors[i].card == from)
            sources.push_back(i);
    }
    if (sources.empty()) {
        outcome.refusal = CopyRefusal::NothingToCopy;
        return outcome;
    }
    RenderState next = current;
    for (size_t i : sources) {
        Detector copy = next.detectors[i];
        copy.card = to;
        copy.number = FreeNumber(taken, copy.number);
        taken.insert(copy.number);
        if (copy.number != next.detectors[i].number)
            outcome.renumbered.push_back({next.detectors[i].number, copy.number});
        next.detectors.push_back(std::move(copy));
    }
    document.NewRenderState(std::move(next));
    outcome.copied = sources.size();
    outcome.changed = true;
    return outcome;
}

} // namespace korvex
