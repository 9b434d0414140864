// Laying out the composer picture: 92 rows (24 Y, 64 Z, 4 card rows), each
// holding a 16-leaf expression.
//
//   composer_bench --benchmark_counters_tabular=true
//
// "arithmetic" is the box layout alone with fixed text sizes; "layout" is
// what the window does after every edit: the arithmetic with the real fonts,
// then drawing the whole picture into its off-screen image; "problem lines"
// is the problems list's rebuild over the same rows.

#include "app/composer/ComposerLayout.h"
#include "app/composer/ComposerView.h"
#include "composer/Formula.h"
#include "files/Problems.h"
#include "model/Document.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <random>

namespace korvex {
namespace {

// A 16-leaf expression: a balanced tree of all three operators over
// detectors, conditions and constants of all eight cameras.
std::string SixteenLeaves(std::mt19937& rng) {
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

void Fill(Document& document) {
    document.New();
    RenderState& state = document.NewRenderState();
    state.EnsureBackgrounds(8);
    state.composer_a.resize(4);
    std::mt19937 rng(2026);
    for (auto* list : {&state.composer_y, &state.composer_z, &state.composer_a})
        for (ComposerItem& row : *list)
            row = *ParseFormula(SixteenLeaves(rng), nullptr);
    state.detectors.emplace_back(1, 1, 0, 2, 7, 320, 240);
    state.selected = 0;
    state.composer_selection = "Y5ABX";
}

struct FixedMeasure : TextMeasure {
    LayoutSize MainText(const std::string& text) const override { return {7 * int32_t(text.size()), 15}; }
    LayoutSize NoteText(const std::string& text) const override { return {5 * int32_t(text.size()), 11}; }
    LayoutSize Glyph(uint32_t) const override { return {16, 24}; }
};

void Rows(benchmark::State& run, const RenderState& state) {
    size_t rows = state.composer_y.size() + state.composer_z.size() + state.composer_a.size();
    run.counters["rows"] = double(rows);
    run.counters["per row"] = benchmark::Counter(double(rows), benchmark::Counter::kIsIterationInvariantRate |
                                                                   benchmark::Counter::kInvert);
}

void BM_Arithmetic(benchmark::State& run) {
    Document document;
    Fill(document);
    FixedMeasure measure;
    ComposerTexts texts{"(unused)", "blur", "blank"};
    for (auto _ : run) {
        ComposerPicture picture = LayoutComposer(document.Current(), measure, texts);
        benchmark::DoNotOptimize(picture.steps.data());
    }
    Rows(run, document.Current());
}
BENCHMARK(BM_Arithmetic)->Unit(benchmark::kMillisecond);

void BM_Layout(benchmark::State& run) {
    Document document;
    Fill(document);
    ComposerView view;
    view.Attach(&document, [] { return 0u; });
    for (auto _ : run) {
        view.Layout();
        benchmark::DoNotOptimize(view.Picture().constBits());
    }
    run.counters["width"] = view.Picture().width();
    run.counters["height"] = view.Picture().height();
    Rows(run, document.Current());
}
BENCHMARK(BM_Layout)->Unit(benchmark::kMillisecond);

// The problems list is rebuilt after every edit: the expression checks over
// the same 92 rows (a constant check evaluates truth tables of up to 16
// inputs).
void BM_ProblemLines(benchmark::State& run) {
    Document document;
    Fill(document);
    for (auto _ : run) {
        std::vector<std::string> lines = ProblemLines(document.Current());
        benchmark::DoNotOptimize(lines.data());
    }
    Rows(run, document.Current());
}
BENCHMARK(BM_ProblemLines)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace korvex

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
