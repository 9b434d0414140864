// Laying out the composer picture: 92 rows (24 Y, 64 Z, 4 card rows), each
// holding a 16-leaf expression.
//
//   composer_bench --benchmark_counters_tabular=true
//
// "arithmetic" is the box layout alone with fixed text sizes (the window's
// layout with real fonts and drawing is composer_view_bench); "problem
// lines" is the problems list's rebuild over the same rows. No window
// library is linked.

#include "ComposerSample.h"
#include "composer/ComposerLayout.h"
#include "files/Problems.h"

namespace korvex {
namespace {

using bench::Fill;
using bench::Rows;

struct FixedMeasure : TextMeasure {
    LayoutSize MainText(const std::string& text) const override { return {7 * int32_t(text.size()), 15}; }
    LayoutSize NoteText(const std::string& text) const override { return {5 * int32_t(text.size()), 11}; }
    LayoutSize Glyph(uint32_t) const override { return {16, 24}; }
};

void BM_Arithmetic(benchmark::State& run) {
    Document document;
    Fill(document);
    FixedMeasure measure;
    ComposerTexts texts{"(unused)", "blur", "blank"};
    for (auto _ : run) {
        ComposerPicture picture = LayoutComposer(document.Current(), document.Selected(), measure, texts);
        benchmark::DoNotOptimize(picture.steps.data());
    }
    Rows(run, document.Current());
}
BENCHMARK(BM_Arithmetic)->Unit(benchmark::kMillisecond);

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

BENCHMARK_MAIN();
