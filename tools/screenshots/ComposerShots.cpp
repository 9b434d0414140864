// Opens the sample project, writes a few output expressions through the
// composer window as a user would (clicks and the formula field), and saves
// pictures of the composer: a selected node, its menu open, a typing error.
// korvex_composer_screenshots <output folder> <sample project>
// Meant to run under a virtual X server (scripts/screenshot.sh).
#include "ShotTools.h"
#include "app/composer/ComposerFrame.h"
#include "app/composer/ComposerView.h"
#include "app/editor/MainView.h"
#include "app/frame/MainFrame.h"
#include "app/frame/TabView.h"
#include "app/widgets/PaneDock.h"
#include "model/Document.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

using namespace korvex;
using namespace korvex::shots;

namespace {

QPoint Centre(const ComposerItem& item) {
    return QPoint((item.box.left + item.box.right) / 2, (item.box.top + item.box.bottom) / 2);
}

// A point of the row's root itself: its operator sign, or the leaf.
QPoint RootPoint(const ComposerItem& row) {
    if (row.children.size() != 2)
        return Centre(row);
    return QPoint((row.children[0].box.right + row.children[1].box.left) / 2,
                  (row.box.top + row.box.bottom) / 2);
}

void Press(QWidget* w, QPoint p, Qt::MouseButton button) {
    QPointF local(p), global(w->mapToGlobal(p));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, button, button, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

// Selects a row's root in the picture and types its formula.
void Type(ComposerFrame& composer, const ComposerItem& row, const char* formula) {
    Press(&composer.View(), RootPoint(row), Qt::LeftButton);
    Settle(50);
    composer.FormulaField().setFocus();
    composer.FormulaField().setText(QString::fromUtf8(formula));
    composer.FormulaField().setModified(true);
    composer.ApplyFormula();
    Settle(80);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc < 3) {
        std::fprintf(stderr, "usage: korvex_composer_screenshots <output folder> <sample project>\n");
        return 2;
    }
    const QString out = StartShots(argv[1]);

    FrameOptions options;
    options.startWorkers = false;
    MainFrame frame(options);
    frame.move(0, 0);
    frame.Create();
    frame.OpenAtStart(argv[2]);
    frame.Tabs().setCurrentIndex(1);
    Settle();
    PaneDock& pane = frame.ComposerPane();
    // Clear of the inspector, which floats at the frame's right edge.
    pane.setGeometry(40, 140, 440, 470);
    Settle();

    MainView& view = frame.View();
    Document& document = view.GetDocument();
    // The editor's selected detector: B2 (its leaves are drawn red).
    const auto& detectors = document.Current().detectors;
    for (size_t i = 0; i < detectors.size(); ++i)
        if (detectors[i].card == 1 && detectors[i].number == 2)
            view.Select(int32_t(i));
    Settle();

    ComposerFrame& composer = frame.Composer();
    Type(composer, composer.View().Steps().placed.y[0], "(A1 & B2) | Cblur");
    Type(composer, composer.View().Steps().placed.y[1], "A3 ^ (B1 & Dblank)");
    Type(composer, composer.View().Steps().placed.y[2], "(C1 | C2) & (A2 | B2)");
    Type(composer, composer.View().Steps().placed.y[3], "a4 & d3");
    // Select the node (A1 ∩ B2) of Y1.
    Press(&composer.View(), Centre(composer.View().Steps().placed.y[0].children[0]), Qt::LeftButton);
    Settle();
    bool ok = ShootScreen(out + QStringLiteral("/composer.png"), pane.frameGeometry());

    // The menu of the leaf B2 of Y3 (opened by a right click; the picture is
    // taken while it is open, then it is closed).
    QPoint leaf = Centre(composer.View().Steps().placed.y[2].children[1].children[1]);
    // The "B..." submenu is opened too: B2 is the node (checked) and the
    // selected detector (the default item, in bold).
    QTimer::singleShot(400, [&] {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QMenu* sub = nullptr;
        if (popup)
            for (QAction* a : popup->actions())
                if (a->menu() && a->text() == QStringLiteral("B...")) {
                    popup->setActiveAction(a);
                    sub = a->menu();
                    sub->popup(popup->mapToGlobal(popup->actionGeometry(a).topRight()));
                }
        QTimer::singleShot(300, [&, popup, sub] {
            QRect area = pane.frameGeometry();
            if (popup)
                area = area.united(popup->frameGeometry());
            if (sub)
                area = area.united(sub->frameGeometry());
            ok &= ShootScreen(out + QStringLiteral("/composer-menu.png"), area);
            if (sub)
                sub->close();
            if (popup)
                popup->close();
        });
    });
    Press(&composer.View(), leaf, Qt::RightButton);
    Settle(800);

    // A typing error in the formula of Y2.
    Press(&composer.View(), RootPoint(composer.View().Steps().placed.y[1]), Qt::LeftButton);
    Settle(50);
    composer.FormulaField().setFocus();
    composer.FormulaField().setText(QStringLiteral("A3 ^ (B1 & Dblank"));
    composer.FormulaField().setModified(true);
    composer.ApplyFormula();
    Settle();
    ok &= ShootScreen(out + QStringLiteral("/composer-error.png"), pane.frameGeometry());
    return ok ? 0 : 1;
}
