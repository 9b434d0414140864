// Pictures of the window's memory between runs: File > Recent projects (with
// the note about a project that has gone) and the question that offers the
// changes a crashed run left behind.
// korvex_session_screenshots <output folder> <scratch folder>
// Meant to run under a virtual X server, with XDG_CONFIG_HOME and
// XDG_STATE_HOME pointing into the scratch folder.
#include "ShotTools.h"
#include "app/common/Commands.h"
#include "app/frame/MainFrame.h"
#include "app/frame/RecentProjects.h"
#include "app/session/ProjectRecovery.h"
#include "files/ProjectFile.h"
#include "model/DetectorTools.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <cstdio>

using namespace korvex;
using namespace korvex::shots;

namespace {

void AddDetectors(Document& document, int count) {
    for (int i = 0; i < count; ++i) {
        RenderState s = document.Current();
        const uint32_t card = static_cast<uint32_t>(i % 4);
        Detector d(0, 1, 0, card, NextDetectorNumber(s, card), s.CanvasWidth(), s.CanvasHeight());
        const int32_t x = 60 + i * 30;
        d.points = {{{x, 60}, {x + 60, 60}, {x + 70, 150}, {x - 10, 150}}};
        s.detectors.push_back(d);
        document.NewRenderState(std::move(s));
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc < 3) {
        std::fprintf(stderr, "usage: korvex_session_screenshots <output folder> <scratch folder>\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString scratch = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    QDir().mkpath(scratch + QStringLiteral("/sites"));
    bool ok = true;

    // A few projects of the kind an engineer keeps, one of which is then
    // deleted: the menu takes it off with a note in the status bar.
    const QStringList names{QStringLiteral("north-gate.kvx"), QStringLiteral("tunnel-east.kvx"),
                            QStringLiteral("depot-yard.kvx"), QStringLiteral("crossing-12.kvx"),
                            QStringLiteral("old-layout.kvx")};
    {
        FrameOptions options;
        options.startWorkers = false;
        MainFrame frame(options);
        frame.move(0, 0);
        frame.Create();
        for (const QString& name : names) {
            Document& document = frame.View().GetDocument();
            document.New();
            AddDetectors(document, 3);
            SaveProject(document, (scratch + QStringLiteral("/sites/") + name).toStdString());
        }
        frame.OpenAtStart((scratch + QStringLiteral("/sites/north-gate.kvx")).toStdString());
        QFile::remove(scratch + QStringLiteral("/sites/old-layout.kvx"));
        frame.View().GetDocument().Announce(DocumentChange::Content | DocumentChange::Layout);
        Settle(300);
        QMenu* file = frame.menuBar()->actions().first()->menu();
        frame.menuBar()->setActiveAction(file->menuAction());
        Settle(300);
        file->setActiveAction(frame.Recent().Menu()->menuAction());
        frame.Recent().Menu()->popup(
            file->geometry().topRight() +
            QPoint(0, file->actionGeometry(frame.Recent().Menu()->menuAction()).top()));
        Settle(300);
        ok &= ShootScreen(out + QStringLiteral("/recent-menu.png"), frame.frameGeometry());
        frame.Recent().Menu()->close();
        file->close();

        // Unsaved changes, and then the run ends without closing.
        frame.StartRecovery(60000, 1);
        AddDetectors(frame.View().GetDocument(), 2);
        frame.ProcessChanges();
    }

    // The next start finds the copy and asks.
    FrameOptions options;
    options.startWorkers = false;
    MainFrame frame(options);
    frame.move(0, 0);
    frame.Create();
    Settle(300);
    QTimer::singleShot(800, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible())
                continue;
            ok &= ShootScreen(out + QStringLiteral("/recovery-question.png"), frame.frameGeometry());
            box->reject(); // "Later": the copy stays
        }
    });
    frame.StartRecovery();
    return ok ? 0 : 1;
}
