// The format's limits (tests/support/LargeProject.h: 8 cameras x 32
// detectors, eight backgrounds, 24 Y and 64 Z rows with deep formulas)
// through the core: open, save, package, edit commit and its memory,
// problems rebuild, report and comparison.
//
//   large_project_bench --benchmark_counters_tabular=true
//
// The window's figures on the same project (drag move, composer layout)
// are large_project_view_bench.

#include "LargeProjectBench.h"

#include "files/ConfigPackage.h"
#include "files/Problems.h"
#include "files/ProjectDiff.h"
#include "files/ProjectFile.h"
#include "files/ReportContent.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

namespace korvex {
namespace {

using bench::MoveOneCorner;
using bench::ResidentKb;

void BM_Open(benchmark::State& run) {
    test::TempDir dir("korvex-bench");
    Document document;
    document.ReplaceWithLoaded(test::LargeProject(), "");
    const std::string path = dir / "large.kvx";
    SaveProject(document, path);
    for (auto _ : run) {
        Document opened;
        OpenProject(opened, path);
        benchmark::DoNotOptimize(opened.Current().detectors.data());
    }
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond);

void BM_Save(benchmark::State& run) {
    test::TempDir dir("korvex-bench");
    Document document;
    document.ReplaceWithLoaded(test::LargeProject(), "");
    const std::string path = dir / "large.kvx";
    for (auto _ : run)
        SaveProject(document, path);
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

void BM_Package(benchmark::State& run) {
    const RenderState state = test::LargeProject();
    for (auto _ : run) {
        std::vector<uint8_t> package = BuildConfigPackage(state, "large.kvx");
        benchmark::DoNotOptimize(package.data());
    }
}
BENCHMARK(BM_Package)->Unit(benchmark::kMillisecond);

// Committing one edit: the copy, the change and the push, which drops the
// state undone before it (each iteration undoes its edit, so the history
// stays short whatever an edit costs).
void BM_EditCommit(benchmark::State& run) {
    Document document;
    document.ReplaceWithLoaded(test::LargeProject(), "");
    MoveOneCorner(document, 0, 1);
    size_t i = 0;
    for (auto _ : run) {
        MoveOneCorner(document, i % 256, (i & 1) ? 1 : -1);
        ++i;
        document.Undo();
    }
}
BENCHMARK(BM_EditCommit)->Unit(benchmark::kMicrosecond);

// What twenty edits of one detector add, per edit: to the resident memory
// (which a freed block the allocator reuses can hide) and to the memory the
// program holds.
void BM_EditMemory(benchmark::State& run) {
    double perEdit = 0, heapPerEdit = 0;
    for (auto _ : run) {
        run.PauseTiming();
        auto document = std::make_unique<Document>();
        document->ReplaceWithLoaded(test::LargeProject(), "");
        const uint64_t before = ResidentKb(), heapBefore = bench::HeapKb();
        run.ResumeTiming();
        for (int k = 0; k < 20; ++k)
            MoveOneCorner(*document, 17, (k & 1) ? 1 : -1);
        run.PauseTiming();
        perEdit = double(int64_t(ResidentKb()) - int64_t(before)) / 20.0;
        heapPerEdit = double(int64_t(bench::HeapKb()) - int64_t(heapBefore)) / 20.0;
        document.reset();
        run.ResumeTiming();
    }
    run.counters["kB_per_edit"] = perEdit;
    run.counters["heap_kB_per_edit"] = heapPerEdit;
}
BENCHMARK(BM_EditMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ProblemsRebuild(benchmark::State& run) {
    const RenderState state = test::LargeProject();
    for (auto _ : run) {
        std::vector<ProblemLine> lines = ListProblems(state);
        benchmark::DoNotOptimize(lines.data());
    }
}
BENCHMARK(BM_ProblemsRebuild)->Unit(benchmark::kMillisecond);

void BM_Report(benchmark::State& run) {
    const RenderState state = test::LargeProject();
    ReportFacts facts{"large.kvx", "2026-12-08", "6.0", false, "", "", 0};
    for (auto _ : run) {
        ReportContent content = BuildReportContent(state, facts);
        benchmark::DoNotOptimize(&content);
    }
}
BENCHMARK(BM_Report)->Unit(benchmark::kMillisecond);

// The project against its saved file read back with one detector moved
// (nothing shared between the two).
void BM_Diff(benchmark::State& run) {
    const RenderState before = test::LargeProject();
    std::vector<uint8_t> bytes = ProjectFileBytes(before, "large.kvx");
    RenderState after = *ParseProject(bytes.data(), bytes.size());
    after.detectors[40].points[2].x += 5;
    for (auto _ : run) {
        std::vector<ProjectChange> changes = DiffProjects(before, after);
        benchmark::DoNotOptimize(changes.data());
    }
}
BENCHMARK(BM_Diff)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace korvex

BENCHMARK_MAIN();
