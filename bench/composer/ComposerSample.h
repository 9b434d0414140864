#pragma once

// The composer benchmarks' sample: 92 rows (24 Y, 64 Z, 4 card rows), each
// holding a 16-leaf expression over all eight cameras, one detector
// selected and one node chosen in the composer.

#include "composer/Formula.h"
#include "model/Document.h"

#include <benchmark/benchmark.h>
#include <random>
#include <string>
#include <vector>

namespace korvex::bench {

// A 16-leaf expression: a balanced tree of all three operators over
// detectors, conditions and constants of all eight cameras.
inline std::string SixteenLeaves(std::mt19937& rng) {
    const char* ops[] = {" & ", " | ", " ^ "};
    std::vector<std::string> terms;
    for (int i = 0; i < 16; ++i) {
        char card = char('A' + rng() % 8);
        switch (rng() % 8) {
        case 0:
            terms.push_back(std::string(1, card) + "blur");
            break;
        case 1:
            terms.push_back(std::string(1, card) + "blank");
            break;
        default:
            terms.push_back(std::string(1, card) + std::to_string(1 + rng() % 32));
        }
    }
    while (terms.size() > 1) {
        std::vector<std::string> next;
        for (size_t i = 0; i + 1 < terms.size(); i += 2)
            next.push_back("(" + terms[i] + ops[rng() % 3] + terms[i + 1] + ")");
        terms = next;
    }
    return terms[0];
}

inline void Fill(Document& document) {
    document.New();
    RenderState state = document.Current();
    state.EnsureBackgrounds(8);
    state.composer_a.resize(4);
    std::mt19937 rng(2026);
    for (auto* list : {&state.composer_y, &state.composer_z, &state.composer_a})
        for (ComposerItem& row : *list)
            row = *ParseFormula(SixteenLeaves(rng), nullptr);
    state.detectors.emplace_back(1, 1, 0, 2, 7, 320, 240);
    document.NewRenderState(std::move(state), Selection{0, "Y5ABX"});
}

inline void Rows(benchmark::State& run, const RenderState& state) {
    size_t rows = state.composer_y.size() + state.composer_z.size() + state.composer_a.size();
    run.counters["rows"] = double(rows);
    run.counters["per row"] = benchmark::Counter(double(rows), benchmark::Counter::kIsIterationInvariantRate |
                                                                   benchmark::Counter::kInvert);
}

} // namespace korvex::bench
