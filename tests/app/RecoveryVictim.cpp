// A Korvex window that edits a project and then waits to be killed: the
// recovery test starts it, kills it with SIGKILL once the copy of its
// unsaved changes is written, and recovers them in a new window.
//
//   app_recovery_victim PROJECT|- EXPECTED
//
// Opens PROJECT (- for a new one), makes 22 edits (a copy is written at the
// twentieth; the timer writes the last two), writes the project file the
// edited state would save to EXPECTED and prints "ready".
#include "app/common/Prompter.h"
#include "app/frame/MainFrame.h"
#include "app/session/ProjectRecovery.h"
#include "files/ProjectFile.h"
#include "framework/AtomicFile.h"
#include "model/DetectorTools.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstring>

namespace {

// Nobody is there to answer: every question is declined.
class SilentPrompter : public korvex::Prompter {
public:
    Answer Question(QWidget*, const QString&, const QString&) override { return Cancel; }
    bool Warning(QWidget*, const QString&, const QString&) override { return false; }
    void Error(QWidget*, const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    void Information(QWidget*, const QString&, const QString&) override {}
    QString OpenFile(QWidget*, const QString&, const QString&) override { return {}; }
    QString SaveFile(QWidget*, const QString&, const QString&, const QString&, const QString&) override {
        return {};
    }
    void Beep() override {}
};

} // namespace

int main(int argc, char** argv) {
    using namespace korvex;
    if (argc != 3) {
        std::fprintf(stderr, "usage: app_recovery_victim PROJECT|- EXPECTED\n");
        return 2;
    }
    QApplication app(argc, argv);
    SilentPrompter prompter;
    FrameOptions options;
    options.prompter = &prompter;
    options.startWorkers = false;
    MainFrame frame(options);
    frame.Create();
    if (std::strcmp(argv[1], "-") != 0)
        frame.OpenAtStart(argv[1]);
    frame.ProcessChanges();
    frame.StartRecovery(200, 20);

    Document& document = frame.View().GetDocument();
    for (uint32_t i = 0; i < 22; ++i) {
        RenderState s = document.Current();
        const uint32_t card = i % 2;
        Detector d(0, 1, 0, card, NextDetectorNumber(s, card), s.CanvasWidth(), s.CanvasHeight());
        const int32_t x = 40 + static_cast<int32_t>(i) * 4;
        d.points = {{{x, 20}, {x + 20, 20}, {x + 20, 60}, {x, 60}}};
        s.detectors.push_back(d);
        document.NewRenderState(std::move(s));
        frame.ProcessChanges(); // one change, as the idle refresh sees it
    }
    // The twentieth change wrote one copy; the timer writes the last two.
    QElapsedTimer waited;
    waited.start();
    while (frame.Recovery().CopiesWritten() < 2 && waited.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (frame.Recovery().CopiesWritten() < 2) {
        std::fprintf(stderr, "app_recovery_victim: no copy was written\n");
        return 1;
    }
    const std::vector<uint8_t> expected = ProjectFileBytes(document.Current(), document.Path());
    AtomicFile::WriteAll(argv[2], expected.data(), expected.size());
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec(); // until killed
}
