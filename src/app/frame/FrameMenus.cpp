// The frame's menus, toolbar and context menu, all made of the action
// registry's actions, and their states when a menu opens.
#include "app/common/Commands.h"
#include "app/common/UiText.h"
#include "app/frame/ActionRegistry.h"
#include "app/frame/FrameSettings.h"
#include "app/frame/LiveSiteLink.h"
#include "app/frame/MainFrame.h"
#include "app/frame/RecentProjects.h"
#include "app/session/DeviceSession.h"
#include "app/widgets/StatusBar.h"
#include "framework/Language.h"
#include "framework/TextIds.h"

#include <QActionGroup>
#include <QMenuBar>
#include <QToolBar>

namespace korvex {

QAction* MainFrame::Action(int command) {
    return actions[command];
}

void MainFrame::BuildToolbar() {
    toolbar = addToolBar(QStringLiteral("Korvex"));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setIconSize(QSize(16, 16));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->toggleViewAction()->setEnabled(false);
    actions.FillToolbar(*toolbar);
    toolbar->addSeparator();
    toolbar->addAction(actions[CmdLiveDetectors]);
}

void MainFrame::BuildMenus() {
    auto add = [this](QMenu* menu, std::initializer_list<int> ids) { actions.AddTo(*menu, ids); };
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(Text(text::app_menu_file));
    add(file, {CmdNew, CmdOpen});
    recent =
        new RecentProjects(this, [this](const QString& text) { statusBar->ShowText(text.toStdString()); });
    connect(recent, &RecentProjects::OpenRequested, this, [this](const QString& path) { OpenRecent(path); });
    file->addMenu(recent->Menu());
    add(file, {CmdSave, CmdSaveAs, 0, CmdLoadBackground, CmdLiveBackgrounds, 0, CmdCompareWith,
               CmdExportReport, 0, CmdExit});
    QMenu* edit = bar->addMenu(Text(text::app_menu_edit));
    add(edit, {CmdUndo, CmdRedo, 0, CmdCopy, CmdPaste, CmdDelete, 0, CmdAddQuad, CmdAddLine, 0,
               CmdCopyDetectorsToCamera, 0, CmdConvertTo320, CmdConvertTo180});
    QMenu* view = bar->addMenu(Text(text::app_menu_view));
    add(view, {CmdZoomIn, CmdZoomOut, 0, CmdToggleInspector, CmdToggleComposer, CmdToggleExplorer,
               CmdToggleTuning, 0, CmdViewOptionA, CmdViewOptionB, 0, CmdLiveDetectors});
    QMenu* detector = bar->addMenu(Text(text::app_menu_detector));
    add(detector, {CmdModeReshape,
                   CmdModeErase,
                   CmdModeMove,
                   CmdModeAim,
                   CmdModeMoveCard,
                   0,
                   CmdPenWidth1,
                   CmdPenWidth2,
                   CmdPenWidth3,
                   CmdPenWidth4,
                   0,
                   CmdNoPattern,
                   CmdDivisions1,
                   CmdDivisions2,
                   CmdDivisions3,
                   CmdDivisions4,
                   CmdDivisions5,
                   CmdDivisions6,
                   CmdFill20,
                   CmdFill100});
    QMenu* device = bar->addMenu(Text(text::app_menu_device));
    add(device, {CmdConnect, CmdDisconnect, 0, CmdUpload, CmdRestoreProgram, CmdDownloadProgram, CmdRestart,
                 0, CmdRecordings, CmdNetworkSettings, CmdChangePassword, CmdOptionMask});
    QMenu* tools = bar->addMenu(Text(text::app_menu_tools));
    add(tools, {CmdExport, CmdConfigTest});
    languageMenu = bar->addMenu(Text(text::app_menu_language));
    QMenu* help = bar->addMenu(Text(text::app_menu_help));
    add(help, {CmdHelp, 0});
    QMenu* demoMenu = help->addMenu(Text(text::live_menu_demo));
    add(demoMenu, {CmdDemoDevice, 0, CmdDemoKnock, CmdDemoStraighten});
    add(help, {0, CmdAbout});
    for (QMenu* menu : {file, edit, view, detector, device, tools, help, demoMenu})
        connect(menu, &QMenu::aboutToShow, this, [this] { UpdateMenuStates(); });

    // The editor's context menu shares the actions, so its choices arrive
    // here like any other command.
    contextMenu = new QMenu(this);
    add(contextMenu,
        {CmdAddQuadHere, CmdAddLineHere, 0, CmdCopy, CmdPaste, CmdDelete, 0, CmdUndo, CmdRedo, CmdSave, 0});
    QMenu* modes = contextMenu->addMenu(Text(text::app_menu_mode));
    add(modes, {CmdModeReshape, CmdModeErase, CmdModeMove, CmdModeAim, CmdModeMoveCard});
    QMenu* pens = contextMenu->addMenu(Text(text::app_menu_pen_width));
    add(pens, {CmdPenWidth1, CmdPenWidth2, CmdPenWidth3, CmdPenWidth4});
    QMenu* patterns = contextMenu->addMenu(Text(text::app_menu_pattern));
    add(patterns, {CmdNoPattern, CmdDivisions1, CmdDivisions2, CmdDivisions3, CmdDivisions4, CmdDivisions5,
                   CmdDivisions6, CmdFill20, CmdFill100});
    add(contextMenu, {0, CmdLoadBackground, CmdLiveBackgrounds});
}

void MainFrame::BuildLanguageMenu() {
    languageGroup = new QActionGroup(this);
    languageGroup->setExclusive(true);
    std::string chosen = StartupLanguage();
    languages.clear();
    for (const std::string& name : AvailableLanguages()) {
        if (languages.size() >= 31)
            break;
        int id = CmdLanguageFirst + static_cast<int>(languages.size());
        languages.push_back(name);
        QAction* action = actions.Make(id, QString::fromStdString(name));
        action->setCheckable(true);
        action->setChecked(name == chosen);
        languageGroup->addAction(action);
        languageMenu->addAction(action);
    }
    languageMenu->addSeparator();
    QAction* automatic = actions[CmdLanguageAuto];
    automatic->setCheckable(true);
    automatic->setChecked(chosen == "auto");
    languageGroup->addAction(automatic);
    languageMenu->addAction(automatic);
}

int MainFrame::KnockTarget() const {
    // The demo knocks a camera the camera check can watch, so the knock
    // shows what the check does; camera A until pictures have arrived.
    const int watchable = liveSite ? liveSite->WatchableCamera() : -1;
    return watchable >= 0 ? watchable : 0;
}

void MainFrame::UpdateMenuStates() {
    View().UpdateMenuStates();
    panes.SyncChecks();
    actions[CmdViewOptionA]->setChecked(ViewOptionA());
    actions[CmdViewOptionB]->setChecked(ViewOptionB());
    actions[CmdDemoDevice]->setText(
        Text(devices->DemoRunning() ? text::live_stop_demo : text::live_start_demo));
    SetEnabled(actions[CmdDemoDevice], devices->HasDemo());
    SetEnabled(actions[CmdDemoKnock], devices->DemoRunning());
    actions[CmdDemoKnock]->setText(QString::fromStdString(FillText(
        Text(text::onsite_demo_knock).toStdString(), {CameraName(unsigned(KnockTarget())).toStdString()})));
    SetEnabled(actions[CmdDemoStraighten], devices->DemoRunning());
    bool connected = DeviceConnected();
    SetEnabled(actions[CmdConnect], !connected);
    for (int id : {CmdDisconnect, CmdUpload, CmdDownloadProgram, CmdRestart, CmdRecordings, CmdChangePassword,
                   CmdNetworkSettings, CmdRestoreProgram})
        SetEnabled(actions[id], connected);
}

} // namespace korvex
