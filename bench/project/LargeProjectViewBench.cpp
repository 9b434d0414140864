// The window on the largest project the format holds
// (tests/support/LargeProject.h): one pointer move of a corner drag in the
// real frame (UI-thread CPU time including the refresh and the repaint),
// the composer's layout with the real fonts, and the commissioning report.
//
//   large_project_view_bench --benchmark_counters_tabular=true
//
// "layouts_per_move" and "paints_per_move" count what one move costs the
// composer and the main view.

#include "LargeProjectBench.h"
#include "app/composer/ComposerFrame.h"
#include "app/composer/ComposerView.h"
#include "app/frame/MainFrame.h"
#include "app/frame/TabView.h"
#include "app/report/ReportWriter.h"
#include "framework/Trace.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QMouseEvent>
#include <QStandardPaths>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <ctime>

namespace korvex {
namespace {

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void SendMouse(QWidget& target, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), target.mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&target, &event);
}

// Everything one move brings about: the frame's refresh and the repaint.
void Settle(MainFrame& frame) {
    QApplication::sendPostedEvents();
    frame.ProcessChanges();
    QApplication::processEvents();
}

void BM_DragMove(benchmark::State& run) {
    FrameOptions options;
    options.startWorkers = false;
    MainFrame frame(options);
    frame.Create();
    frame.Tabs().setCurrentIndex(1);
    Document& document = frame.View().GetDocument();
    document.ReplaceWithLoaded(test::LargeProject(), "");
    frame.View().ProjectReplaced();
    Settle(frame);
    int paints = 0;
    TraceSink previous = SetTraceSink([&paints](const std::string& line) {
        if (line.rfind("MainView::OnPaint", 0) == 0)
            ++paints;
    });
    // A corner of detector 70 (card 2), dragged back and forth.
    MainView& view = frame.View();
    const int32_t index = 70;
    view.ChooseDetector(index);
    Settle(frame);
    const Detector& d = document.Current().detectors[index];
    const Rect area = view.Geometry().CardArea(static_cast<int32_t>(d.card));
    const QPoint corner(area.left + d.points[0].x * view.Zoom(), area.top + d.points[0].y * view.Zoom());
    SendMouse(view, QEvent::MouseButtonPress, corner, Qt::LeftButton);
    Settle(frame);
    if (!view.Dragging()) {
        run.SkipWithError("the press did not start a drag");
        SetTraceSink(previous);
        return;
    }
    const int layoutsBefore = frame.Composer().View().LayoutCount();
    paints = 0;
    int step = 0;
    for (auto _ : run) {
        const QPoint to = corner + QPoint(1 + step % 20, 1 + step % 7);
        ++step;
        const double start = ThreadCpuSeconds();
        SendMouse(view, QEvent::MouseMove, to, Qt::LeftButton);
        Settle(frame);
        run.SetIterationTime(ThreadCpuSeconds() - start);
    }
    const double moves = double(step ? step : 1);
    run.counters["layouts_per_move"] = double(frame.Composer().View().LayoutCount() - layoutsBefore) / moves;
    run.counters["paints_per_move"] = double(paints) / moves;
    SendMouse(view, QEvent::MouseButtonRelease, corner, Qt::NoButton);
    SetTraceSink(previous);
    document.New(); // nothing left to ask about on the way out
    frame.close();
}
BENCHMARK(BM_DragMove)->Unit(benchmark::kMillisecond)->UseManualTime();

// Twenty committed drags of one corner in the real frame: what each adds
// to the resident memory of the process (the history keeps every state).
void BM_WindowDrags(benchmark::State& run) {
    FrameOptions options;
    options.startWorkers = false;
    MainFrame frame(options);
    frame.Create();
    frame.Tabs().setCurrentIndex(1);
    Document& document = frame.View().GetDocument();
    double perDrag = 0;
    for (auto _ : run) {
        document.ReplaceWithLoaded(test::LargeProject(), "");
        frame.View().ProjectReplaced();
        Settle(frame);
        MainView& view = frame.View();
        view.ChooseDetector(100);
        Settle(frame);
        const uint64_t before = bench::ResidentKb();
        const uint64_t editsBefore = document.Edits();
        for (int k = 0; k < 20; ++k) {
            const Detector& d = document.Current().detectors[100];
            const Rect area = view.Geometry().CardArea(static_cast<int32_t>(d.card));
            const QPoint corner(area.left + d.points[0].x * view.Zoom(),
                                area.top + d.points[0].y * view.Zoom());
            const QPoint step(k % 2 ? -3 : 3, k % 2 ? -2 : 2);
            SendMouse(view, QEvent::MouseButtonPress, corner, Qt::LeftButton);
            Settle(frame);
            for (int m = 1; m <= 5; ++m) {
                SendMouse(view, QEvent::MouseMove, corner + step * m, Qt::LeftButton);
                Settle(frame);
            }
            SendMouse(view, QEvent::MouseButtonRelease, corner + step * 5, Qt::NoButton);
            Settle(frame);
        }
        perDrag = double(int64_t(bench::ResidentKb()) - int64_t(before)) / 20.0;
        run.counters["edits"] = double(document.Edits() - editsBefore);
    }
    run.counters["kB_per_drag"] = perDrag;
    document.New();
    frame.close();
}
BENCHMARK(BM_WindowDrags)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ComposerLayout(benchmark::State& run) {
    Document document;
    document.ReplaceWithLoaded(test::LargeProject(), "");
    ComposerView view;
    view.Attach(&document, [] { return 0u; });
    for (auto _ : run) {
        view.Layout();
        benchmark::DoNotOptimize(view.Picture().constBits());
    }
}
BENCHMARK(BM_ComposerLayout)->Unit(benchmark::kMillisecond);

void BM_ReportPdf(benchmark::State& run) {
    test::TempDir dir("korvex-bench");
    const RenderState state = test::LargeProject();
    const QString path = QString::fromStdString(dir / "report.pdf");
    for (auto _ : run) {
        QString error;
        if (!WriteReportPdf(path, state, LocalReportFacts("large.kvx"), &error))
            run.SkipWithError(error.toStdString().c_str());
    }
}
BENCHMARK(BM_ReportPdf)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace korvex

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
