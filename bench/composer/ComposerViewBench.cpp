// Laying out and drawing the composer picture as the window does after
// every edit: the box arithmetic with the real fonts, then drawing the
// whole picture into its off-screen image. The same 92 rows as
// composer_bench, whose "arithmetic" figure is the layout alone.
//
//   composer_view_bench --benchmark_counters_tabular=true

#include "ComposerSample.h"
#include "app/composer/ComposerView.h"

#include <QApplication>
#include <cstdlib>

namespace korvex {
namespace {

using bench::Fill;
using bench::Rows;

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
