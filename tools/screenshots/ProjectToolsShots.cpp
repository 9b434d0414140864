// Pictures of the project tools: a photo of another shape loaded as a
// camera's background (fitted with grey bars), the comparison pane after a
// few edits, and the File menu with the report and comparison entries. The
// commissioning report of the sample project is written beside them for
// scripts/screenshot.sh to render.
// korvex_project_tools_screenshots <output folder> <sample.kvx> <scratch folder>
#include "ShotTools.h"
#include "app/common/Commands.h"
#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/compare/ComparePane.h"
#include "app/frame/MainFrame.h"
#include "app/frame/TabView.h"
#include "app/report/ReportWriter.h"
#include "composer/Formula.h"
#include "files/ProjectFile.h"

#include <QApplication>
#include <QDockWidget>
#include <QLinearGradient>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>

using namespace korvex;
using namespace korvex::shots;

namespace {

// Answers the file dialogs and the fit question as the shots need.
class ShotPrompter : public QtPrompter {
public:
    QString OpenFile(QWidget*, const QString&, const QString&) override { return openAnswer; }
    int Choose(QWidget*, const QString&, const QString&, const QStringList&) override { return 0; }
    QString openAnswer;
};

// A wide "phone photo" of a car park: sky, a row of bays, a lamp post.
QImage Photo() {
    QImage image(1600, 900, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, 420);
    sky.setColorAt(0, QColor(120, 160, 210));
    sky.setColorAt(1, QColor(215, 225, 235));
    p.fillRect(0, 0, 1600, 420, sky);
    p.fillRect(0, 420, 1600, 480, QColor(80, 84, 90));
    p.setPen(QPen(Qt::white, 10));
    for (int x = -200; x < 1800; x += 220)
        p.drawLine(x + 300, 480, x, 900);
    p.fillRect(1180, 120, 24, 330, QColor(60, 60, 60));
    p.setBrush(QColor(250, 235, 170));
    p.drawEllipse(QPoint(1192, 120), 40, 22);
    const QColor cars[] = {QColor(190, 30, 30), QColor(40, 90, 170), QColor(230, 230, 230)};
    for (int i = 0; i < 3; ++i)
        p.fillRect(180 + i * 440, 600, 260, 150, cars[i]);
    return image;
}

void Edit(MainFrame& frame) {
    RenderState next = frame.View().State();
    if (next.detectors.size() >= 3) {
        for (Point& c : next.detectors[0].points)
            c.x += 6;
        next.detectors[1].delay = 1500;
        next.detectors[2].number = 9;
    }
    next.composer_y[0] = *ParseFormula("A1 & A2", nullptr);
    frame.View().GetDocument().NewRenderState(next);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: korvex_project_tools_screenshots <output folder> <sample.kvx> <scratch>\n");
        return 2;
    }
    const QString out = StartShots(argv[1]);
    const QString sample = QString::fromLocal8Bit(argv[2]);
    const QString scratch = QString::fromLocal8Bit(argv[3]);
    bool ok = true;

    ShotPrompter prompts;
    FrameOptions options;
    options.startWorkers = false;
    options.prompter = &prompts;
    MainFrame frame(options);
    frame.move(0, 0);
    frame.resize(1180, 860);
    frame.Create();
    frame.OpenAtStart(sample.toStdString());
    Settle(300);

    // The report of the sample project as it stands.
    QString error;
    ok &= WriteReportPdf(scratch + QStringLiteral("/report.pdf"), frame.View().State(),
                         LocalReportFacts(sample.toStdString()), &error);

    // A 16:9 photo on camera B (a 4:3 camera): all of it, grey bars above
    // and below, in one undo step.
    prompts.openAnswer = scratch + QStringLiteral("/car-park.jpg");
    ok &= Photo().save(prompts.openAnswer, "JPEG", 90);
    frame.Tabs().setCurrentIndex(1);
    // The floating panes would cover the pictures.
    frame.OnCommand(CmdToggleInspector);
    frame.OnCommand(CmdToggleComposer);
    Settle(200);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(frame.View().Geometry().ViewWidth() * 3 / 4, 40),
                      QPointF(), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame.View(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, press.position(), QPointF(), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&frame.View(), &release);
    frame.OnCommand(CmdLoadBackground);
    frame.View().GetDocument().Announce(DocumentChange::Content | DocumentChange::Layout);
    Settle(400);
    ok &= ShootScreen(out + QStringLiteral("/any-picture-background.png"), frame.frameGeometry());
    frame.OnCommand(CmdUndo);

    // A few edits, then File > Compare with... the saved sample.
    Edit(frame);
    prompts.openAnswer = sample;
    frame.OnCommand(CmdCompareWith);
    frame.ComparisonDock().resize(frame.width(), 200);
    Settle(300);
    if (QListWidget* list = frame.Comparison().List(); list->count() > 1) {
        list->setCurrentRow(1);
        Q_EMIT list->itemClicked(list->item(1)); // as a click would: A2 is selected
    }
    Settle(300);
    ok &= ShootScreen(out + QStringLiteral("/compare.png"), frame.frameGeometry());

    // The File menu with the new entries.
    QMenu* file = frame.menuBar()->actions().first()->menu();
    frame.menuBar()->setActiveAction(file->menuAction());
    Settle(400);
    ok &= ShootScreen(out + QStringLiteral("/file-menu-tools.png"), frame.frameGeometry());
    file->close();
    frame.View().GetDocument().New(); // nothing to ask about at the end
    return ok ? 0 : 1;
}
