#include "app/frame/MainFrame.h"

#include "app/common/AppStrings.h"
#include "app/common/Commands.h"
#include "app/common/Icons.h"
#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/composer/ComposerFrame.h"
#include "app/device/DeviceCommands.h"
#include "app/device/Explorer.h"
#include "app/device/Ipv4Edit.h"
#include "app/export/ExportDialog.h"
#include "app/dialogs/AboutDialog.h"
#include "app/dialogs/ConfigTestDialog.h"
#include "app/editor/Inspector.h"
#include "app/editor/ProblemsView.h"
#include "app/frame/FrameSettings.h"
#include "app/frame/LiveSiteLink.h"
#include "app/frame/RecentProjects.h"
#include "app/frame/TabView.h"
#include "app/common/LiveStrings.h"
#include "app/device/OptionMaskDialog.h"
#include "app/live/LiveView.h"
#include "app/tuning/TuningFrame.h"
#include "app/session/DeviceSession.h"
#include "app/session/ProjectRecovery.h"
#include "app/session/ProjectSession.h"
#include "app/sinks/DeviceDialogSinks.h"
#include "app/sinks/DeviceListForwarder.h"
#include "app/sinks/ExportRunner.h"
#include "app/sinks/LiveForwarders.h"
#include "app/sinks/StatusForwarder.h"
#include "app/sinks/UiPost.h"
#include "app/widgets/PaneDock.h"
#include "app/widgets/ScrollView.h"
#include "app/widgets/StatusBar.h"
#include "devicelink/DeviceTexts.h"
#include "devicelink/ProgramHistory.h"
#include "framework/Language.h"
#include "framework/StringTable.h"

#include <QAbstractEventDispatcher>
#include <QAbstractItemModel>
#include <QListWidget>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <utility>

namespace korvex {

MainFrame::MainFrame(FrameOptions options)
    : startWorkers(options.startWorkers), actions(this, [this](int id) { OnCommand(id); }), panes(*this, actions) {
    if (options.prompter) {
        prompter = options.prompter;
    } else {
        ownPrompter = std::make_unique<QtPrompter>();
        prompter = ownPrompter.get();
    }
    setObjectName(QStringLiteral("MainFrame"));
    setWindowIcon(ProgramIcon());
    setWindowTitle(QStringLiteral("Korvex"));
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);

    projects = std::make_unique<ProjectSession>(*prompter, this);
    recovery = std::make_unique<ProjectRecovery>(*projects);
    statusSink = std::make_unique<StatusForwarder>(*prompter);
    liveSink = std::make_unique<LiveViewForwarder>();
    tuningSink = std::make_unique<TuningForwarder>();
    devices = std::make_unique<DeviceSession>(DeviceSessionSinks{*statusSink, *liveSink, *tuningSink});
    deviceListSink = std::make_unique<DeviceListForwarder>(devices->Devices());
    devices->Devices().SetSink(deviceListSink.get());
    // The device windows' forwarders take the session's dialog sinks (the
    // program download's path is asked before the job, so the session
    // never waits for a file dialog); an upload keeps the program it
    // replaces.
    programHistory = std::make_unique<ProgramHistory>();
    devices->Session().programHistory = programHistory.get();
    deviceDialogs = std::make_unique<DeviceDialogSinks>(devices->Session());
    rememberedDevices = std::make_unique<RememberedDevices>();

    statusBar = new StatusBar(this);
    setStatusBar(statusBar);
    statusSink->Attach(statusBar);

    auto* centre = new QWidget(this);
    auto* layout = new QVBoxLayout(centre);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tabView = new TabView(*this, projects->GetDocument(), centre);
    problemsView = new ProblemsView(centre);
    problemsView->setFixedHeight(120);
    layout->addWidget(tabView, 1);
    layout->addWidget(problemsView);
    setCentralWidget(centre);

    BuildPanes();
    BuildToolbar();
    BuildMenus();
    BuildLanguageMenu();
    BuildProjectTools();

    connect(explorer, &Explorer::RowChosen, this, [this](int row) { devices->ChooseDevice(row); });
    // The demo device, once heard, is shown chosen in the device list.
    connect(explorer->List()->model(), &QAbstractItemModel::rowsInserted, this, [this] { SelectDemoRow(); });
    // The live page paints from the session's live core; the live thread's
    // requests reach it through the forwarder.
    liveSink->AttachHost(&tabView->Live(), &tabView->Live());
    tabView->Live().Attach(&devices->LiveCore());
    liveSite = std::make_unique<LiveSiteLink>(tabView->Live(), devices->LiveCore(), View(), *problemsView,
                                              *actions[CmdLiveDetectors], *actions[CmdFollowCamera]);
    connect(tabView, &TabView::ActiveTabChanged, this, [this] {
        MarkChanged(PanesChanged);
        UpdateMenuStates();
    });
    BuildDeviceWindows();

    QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                    : QRect(0, 0, 1280, 800);
    resize(std::min(1280, screen.width()), std::min(860, screen.height()));
    View().GetDocument(); // the document already holds a new project
    View().UpdateToolbar();
    InstallIdleHook();
    documentChanges = View().GetDocument().Subscribe([this](uint32_t what) { MarkChanged(what); });
    MarkChanged(AllChanges);
}

MainFrame::~MainFrame() { StopThreads(); }

MainView& MainFrame::View() { return tabView->View(); }

void MainFrame::InstallIdleHook() {
    // The deferred refreshes run once each time the event queue has been
    // drained: the hook sees the loop about to wait, and if the document or
    // the panes changed it posts one refresh, which takes every change at
    // once.
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread());
    if (!dispatcher)
        return;
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
        if (idlePosted || (changes == 0 && View().GetDocument().PendingChanges() == 0))
            return;
        idlePosted = true;
        UiPost(this, [](MainFrame& frame) {
            frame.idlePosted = false;
            frame.ProcessChanges();
        });
    });
}

void MainFrame::Create() {
    // "Connection", then "Live" (the live page paints its pictures), then
    // "Scan".
    if (startWorkers) {
        devices->Start();
        liveSite->StartWatch();
    }
    show();
    panes.Place(frameGeometry());
    MarkChanged(PanesChanged | DocumentChange::Layout);
}

namespace {
// "a.b.c.d" to network byte order (first octet in the lowest byte); 0 when
// the text is no address.
uint32_t NetworkOrderOf(const QString& text) {
    const auto host = Ipv4Edit::Parse(text);
    if (!host)
        return 0;
    return (*host & 255) << 24 | ((*host >> 8) & 255) << 16 | ((*host >> 16) & 255) << 8 | (*host >> 24);
}
} // namespace

void MainFrame::BuildDeviceWindows() {
    deviceCommands = new DeviceCommands(*this, *prompter, *deviceDialogs, *rememberedDevices, programHistory->Root());
    deviceDialogs->SetCommands(deviceCommands);
    deviceCommands->aliasOf = [this](const QString& address) {
        const uint32_t network = NetworkOrderOf(address);
        for (const std::string& line : devices->Devices().Lines())
            if (network && line.rfind(address.toStdString() + " (", 0) == 0 && line.back() == ')')
                return QString::fromStdString(line.substr(address.size() + 2, line.size() - address.size() - 3));
        return QString();
    };
    auto showRemembered = [this] {
        explorer->ShowRemembered(rememberedDevices->All(), [this](const QString& address) {
            const uint64_t seen = devices->Devices().LastSeen(NetworkOrderOf(address));
            return seen != 0 && TickCount64Ms() - seen < 60000;
        });
    };
    showRemembered();
    connect(deviceCommands, &DeviceCommands::Connected, this, showRemembered);
    auto* refresh = new QTimer(this);
    connect(refresh, &QTimer::timeout, this, showRemembered);
    refresh->start(10000);
    connect(explorer, &Explorer::RememberedChosen, this, [this](const QString& address, uint16_t port) {
        if (!DeviceConnected())
            deviceCommands->Connect(NetworkOrderOf(address), port);
    });
    connect(explorer, &Explorer::RememberedForgotten, this, [this, showRemembered](const QString& address,
                                                                                 uint16_t port) {
        rememberedDevices->Forget(address, port);
        showRemembered();
    });
}

void MainFrame::StopThreads() {
    if (liveSite)
        liveSite->StopWatch();
    devices->StopAll();
}

// ---- actions, menus, toolbar ----------------------------------------------

QAction* MainFrame::Action(int command) { return actions[command]; }

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
    QMenu* file = bar->addMenu(Text(kStrMenuFile));
    add(file, {CmdNew, CmdOpen});
    recent = new RecentProjects(this, [this](const QString& text) { statusBar->ShowText(text.toStdString()); });
    connect(recent, &RecentProjects::OpenRequested, this, [this](const QString& path) { OpenRecent(path); });
    file->addMenu(recent->Menu());
    add(file, {CmdSave, CmdSaveAs, 0, CmdLoadBackground, CmdLiveBackgrounds, 0, CmdCompareWith, CmdExportReport, 0,
               CmdExit});
    QMenu* edit = bar->addMenu(Text(kStrMenuEdit));
    add(edit, {CmdUndo, CmdRedo, 0, CmdCopy, CmdPaste, CmdDelete, 0, CmdAddQuad, CmdAddLine, 0,
               CmdCopyDetectorsToCamera, 0, CmdConvertTo320, CmdConvertTo180});
    QMenu* view = bar->addMenu(Text(kStrMenuView));
    add(view, {CmdZoomIn, CmdZoomOut, 0, CmdToggleInspector, CmdToggleComposer, CmdToggleExplorer, CmdToggleTuning,
               0, CmdViewOptionA, CmdViewOptionB, 0, CmdLiveDetectors});
    QMenu* detector = bar->addMenu(Text(kStrMenuDetector));
    add(detector, {CmdModeReshape, CmdModeErase, CmdModeMove, CmdModeAim, CmdModeMoveCard, 0, CmdPenWidth1,
                   CmdPenWidth2, CmdPenWidth3, CmdPenWidth4, 0, CmdNoPattern, CmdDivisions1, CmdDivisions2,
                   CmdDivisions3, CmdDivisions4, CmdDivisions5, CmdDivisions6, CmdFill20, CmdFill100});
    QMenu* device = bar->addMenu(Text(kStrMenuDevice));
    add(device, {CmdConnect, CmdDisconnect, 0, CmdUpload, CmdRestoreProgram, CmdDownloadProgram, CmdRestart, 0,
                 CmdRecordings,
                 CmdNetworkSettings, CmdChangePassword, CmdOptionMask});
    QMenu* tools = bar->addMenu(Text(kStrMenuTools));
    add(tools, {CmdExport, CmdConfigTest});
    languageMenu = bar->addMenu(Text(kStrMenuLanguage));
    QMenu* help = bar->addMenu(Text(kStrMenuHelp));
    add(help, {CmdHelp, 0});
    QMenu* demoMenu = help->addMenu(Text(kStrMenuDemo));
    add(demoMenu, {CmdDemoDevice, 0, CmdDemoKnock, CmdDemoStraighten});
    add(help, {0, CmdAbout});
    for (QMenu* menu : {file, edit, view, detector, device, tools, help, demoMenu})
        connect(menu, &QMenu::aboutToShow, this, [this] { UpdateMenuStates(); });

    // The editor's context menu shares the actions, so its choices arrive
    // here like any other command.
    contextMenu = new QMenu(this);
    add(contextMenu, {CmdAddQuadHere, CmdAddLineHere, 0, CmdCopy, CmdPaste, CmdDelete, 0, CmdUndo, CmdRedo,
                      CmdSave, 0});
    QMenu* modes = contextMenu->addMenu(Text(kStrMenuMode));
    add(modes, {CmdModeReshape, CmdModeErase, CmdModeMove, CmdModeAim, CmdModeMoveCard});
    QMenu* pens = contextMenu->addMenu(Text(kStrMenuPenWidth));
    add(pens, {CmdPenWidth1, CmdPenWidth2, CmdPenWidth3, CmdPenWidth4});
    QMenu* patterns = contextMenu->addMenu(Text(kStrMenuPattern));
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
    QAction* automatic = actions.Make(CmdLanguageAuto);
    automatic->setCheckable(true);
    automatic->setChecked(chosen == "auto");
    languageGroup->addAction(automatic);
    languageMenu->addAction(automatic);
}

void MainFrame::BuildPanes() {
    inspector = new Inspector(projects->GetDocument(), *prompter);
    panes.Add(PaneTable::Inspector, Text(kStrPaneInspector), QStringLiteral("inspectorPane"), inspector,
              CmdToggleInspector, PaneTable::EditorPage, true);
    // The composer edits the document only through the core's composer
    // edits; the undo steps they make mark the document changed, and the
    // idle pass lays the composer out once for them.
    composerFrame = new ComposerFrame;
    composerFrame->SetLayoutDeferred(true);
    composerFrame->Attach(&projects->GetDocument(), [this] { return static_cast<uint32_t>(View().ActiveCard()); });
    panes.Add(PaneTable::Composer, composerFrame->windowTitle(), QStringLiteral("composerPane"), composerFrame,
              CmdToggleComposer, PaneTable::EditorPage, true);
    explorer = new Explorer;
    deviceListSink->AttachExplorer(explorer);
    PaneDock* explorerDock = panes.Add(PaneTable::Explorer, explorer->Caption(), QStringLiteral("explorerPane"),
                                       explorer, CmdToggleExplorer, PaneTable::LivePage, true);
    connect(explorer, &Explorer::CaptionChanged, explorerDock, &QDockWidget::setWindowTitle);

    tuningFrame = new TuningFrame(projects->GetDocument());
    tuningFrame->SetSelection(tuningSink.get());
    tuningSink->AttachView(tuningFrame, [frame = tuningFrame](const TuningCurve& curve) { frame->SetCurve(curve); });
    panes.Add(PaneTable::Tuning, Text(kStrTuningTitle), QStringLiteral("tuningPane"), tuningFrame, CmdToggleTuning,
              PaneTable::AnyPage, false);
}

// ---- states -----------------------------------------------------------------

void MainFrame::SetTitle(const std::string& path) {
    QString title = path.empty() ? QStringLiteral("Korvex")
                                 : QString::fromStdString(path) + QStringLiteral(" - ") + QStringLiteral("Korvex");
    if (windowTitle() != title)
        setWindowTitle(title);
}

static void Enable(QAction* action, bool on) {
    if (action && action->isEnabled() != on)
        action->setEnabled(on);
}

void MainFrame::RefreshStates(uint32_t flags) {
    Document& document = View().GetDocument();
    if (flags & DocumentChange::Content) {
        Enable(actions[CmdSave], document.Modified());
        Enable(actions[CmdUndo], document.CanUndo());
        Enable(actions[CmdRedo], document.CanRedo());
    }
    if (flags & DocumentChange::Selection) {
        const Detector* sel = document.Current().SelectedDetector();
        Enable(actions[CmdModeErase], sel != nullptr);
        Enable(actions[CmdModeAim], sel != nullptr && sel->directional);
    }
    if (flags & PanesChanged)
        panes.Apply(tabView->ActiveTab() == 1);
}

void MainFrame::ProcessChanges() {
    View().GetDocument().DeliverChanges();
    const uint32_t flags = std::exchange(changes, 0);
    if (flags & DocumentChange::Path)
        FollowPath(View().GetDocument().Path());
    if (flags & (DocumentChange::Content | PanesChanged | DocumentChange::Selection)) {
        RefreshStates(flags);
        if (flags & DocumentChange::Content) {
            problemsView->Rebuild(View().State());
            recovery->DocumentChanged();
        }
    }
    // The composer follows every edit (its own included), undo and redo, a
    // new or opened project and every detector or card selection; a hidden
    // composer is laid out when it shows again (just above, for the pane
    // states come first).
    if ((flags & (DocumentChange::Content | DocumentChange::Selection)) || composerStale)
        LayoutComposer();
    if (flags & (DocumentChange::Content | DocumentChange::Selection))
        liveSite->ProjectChanged(flags & DocumentChange::Content);
    if (flags & DocumentChange::Layout) {
        View().Relayout();
        tabView->Scroll().Update();
        View().update();
    }
    if (flags & DocumentChange::Selection) {
        inspector->ShowDetector(View().State().SelectedDetector());
        tuningFrame->ShowDetector(View().State().SelectedDetector());
        // The menu states too: the commands that need an active card keep
        // their shortcuts (Ctrl+D, Ctrl+L) working only while enabled, so
        // they follow every card change, not just the next menu opening.
        View().UpdateMenuStates();
        View().update();
    }
}

void MainFrame::LayoutComposer() {
    composerStale = !ComposerPane().isVisible();
    if (!composerStale)
        composerFrame->Layout();
}

void MainFrame::UpdateMenuStates() {
    View().UpdateMenuStates();
    panes.SyncChecks();
    actions[CmdViewOptionA]->setChecked(ViewOptionA());
    actions[CmdViewOptionB]->setChecked(ViewOptionB());
    actions[CmdDemoDevice]->setText(Text(devices->DemoRunning() ? kStrStopDemo : kStrStartDemo));
    Enable(actions[CmdDemoKnock], devices->DemoRunning());
    Enable(actions[CmdDemoStraighten], devices->DemoRunning());
    bool connected = DeviceConnected();
    Enable(actions[CmdConnect], !connected);
    for (int id : {CmdDisconnect, CmdUpload, CmdDownloadProgram, CmdRestart, CmdRecordings, CmdChangePassword,
                   CmdNetworkSettings, CmdRestoreProgram})
        Enable(actions[id], connected);
}

// ---- MainViewHost -----------------------------------------------------------

void MainFrame::AreaPainted(uint32_t card, uint32_t number, uint32_t count) {
    if (inspector)
        inspector->AreaPainted(card, number, count);
}

bool MainFrame::RebuildProblems() { return problemsView && problemsView->Rebuild(View().State()); }

void MainFrame::ShowContextMenu(const QPoint& globalPos) { contextMenu->popup(globalPos); }

void MainFrame::ShowStatusText(const std::string& text) { statusBar->ShowText(text); }

bool MainFrame::DeviceConnected() { return devices->Connected(); }

bool MainFrame::ViewOptionA() const { return devices->LiveCore().ViewOptionA(); }
bool MainFrame::ViewOptionB() const { return devices->LiveCore().ViewOptionB(); }

bool MainFrame::CopyLivePicture(int camera, Bitmap& out) {
    if (camera < 0 || unsigned(camera) >= devices->LiveCore().Layout().cameraCount)
        return false;
    bool copied = false;
    // Under the slot's lock: the live thread cannot replace the picture
    // half way through the copy.
    devices->LiveCore().WithPicture(unsigned(camera), [&](const Bitmap& picture) {
        if (picture.Empty())
            return;
        out = picture;
        copied = true;
    });
    return copied;
}

void MainFrame::SelectDemoRow() {
    if (!devices->DemoRunning() || devices->TargetAddress() != DemoDevice::Address())
        return;
    const std::vector<DeviceEntry> entries = devices->Devices().Entries();
    for (size_t i = 1; i < entries.size(); ++i)
        if (entries[i].address == DemoDevice::Address()) {
            // Through the list's own selection, as a user's click would go.
            if (explorer->List()->currentRow() != int(i) && int(i) < explorer->List()->count())
                explorer->List()->setCurrentRow(int(i));
            return;
        }
}

void MainFrame::StartDemo(bool usualPortsFirst) {
    // An opened project file lends its cards to the demo's scenes.
    const Document& document = View().GetDocument();
    std::shared_ptr<const RenderState> scenes;
    if (!document.Path().empty())
        scenes = std::make_shared<RenderState>(document.Current());
    devices->StartDemo(usualPortsFirst, scenes);
    SelectDemoRow();
    statusBar->ShowText(FillText(Text(kStrDemoPorts).toStdString(),
                                 {std::to_string(devices->Demo().LivePort()), std::to_string(devices->Demo().SshPort())}));
    tabView->setCurrentIndex(0);
}

void MainFrame::ToggleDemo() {
    if (devices->DemoRunning()) {
        devices->StopDemo();
        return;
    }
    try {
        StartDemo();
    } catch (const std::exception& e) {
        prompter->Error(this, QString::fromStdString(FillText(Text(kStrDemoFailed).toStdString(), {e.what()})));
    }
}

bool MainFrame::PostUpload(std::vector<uint8_t> bytes) { return devices->PostUpload(std::move(bytes)); }

// ---- commands ---------------------------------------------------------------


void MainFrame::PostDeviceJob(JobCode code, bool needsConnection) {
    devices->PostJob(code, needsConnection);
}

void MainFrame::ProjectCommand(int id) {
    View().CancelDrag();
    bool replaced = false;
    switch (id) {
    case CmdNew:
        replaced = projects->NewProject();
        break;
    case CmdOpen:
        replaced = projects->OpenProject();
        break;
    case CmdSave:
        projects->Save();
        break;
    case CmdSaveAs:
        projects->SaveAs();
        break;
    default:
        break;
    }
    if (replaced)
        View().ProjectReplaced();
}

void MainFrame::Upload() {
    View().CancelDrag();
    if (RebuildProblems()) {
        prompter->Error(this, Text(kStrUploadRefusedProblems));
        return;
    }
    if (!DeviceConnected())
        return;
    try {
        if (!prompter->Warning(this, Text(kStrUploadQuestion), Text(kStrUploadCaption)))
            return;
        if (!projects->Save())
            return;
        // The bytes saving has just written, built again rather than read
        // back from the disk.
        if (!PostUpload(projects->FileBytes()))
            prompter->Information(this, Text(kStrUploadBusy), Text(kStrUploadCaption));
    } catch (const std::exception& e) {
        prompter->Error(this, QString::fromStdString(e.what()));
    }
}

void MainFrame::ChooseLanguage(int id) {
    std::string name;
    if (id == CmdLanguageAuto) {
        name = "auto";
    } else {
        size_t index = static_cast<size_t>(id - CmdLanguageFirst);
        if (index >= languages.size())
            return;
        name = languages[index];
    }
    if (QAction* a = Action(id))
        a->setChecked(true);
    RememberLanguage(name);
    WriteLanguage(name);
    prompter->Information(this, Text(kStrLanguageNextStart), Text(kStrLanguageCaption));
}

void MainFrame::OnCommand(int id) {
    try {
        switch (id) {
        case CmdExit:
            close();
            break;
        case CmdNew:
        case CmdOpen:
        case CmdSave:
        case CmdSaveAs:
            ProjectCommand(id);
            break;
        case CmdUpload:
            Upload();
            break;
        case CmdExportReport:
            ExportReport();
            break;
        case CmdCompareWith:
            CompareWith();
            break;
        case CmdZoomIn:
        case CmdZoomOut:
            if (tabView->ActiveTab() == 1)
                View().Command(id);
            else if (id == CmdZoomIn)
                tabView->Live().ZoomIn();
            else
                tabView->Live().ZoomOut();
            break;
        case CmdToggleComposer:
            panes.Toggle(PaneTable::Composer);
            MarkChanged(PanesChanged);
            break;
        case CmdToggleInspector:
            panes.Toggle(PaneTable::Inspector);
            MarkChanged(PanesChanged);
            break;
        case CmdToggleExplorer:
            panes.Toggle(PaneTable::Explorer);
            MarkChanged(PanesChanged);
            break;
        case CmdToggleTuning:
            panes.Toggle(PaneTable::Tuning);
            MarkChanged(PanesChanged);
            break;
        case CmdConnect:
            if (!DeviceConnected()) {
                // The explorer's choice; the demo device is the target
                // before its first announcement has reached the list.
                uint32_t address = devices->Devices().SelectedAddress();
                if (address == 0)
                    address = devices->TargetAddress();
                deviceCommands->Connect(address, devices->SshPortFor(address));
            }
            break;
        case CmdRecordings:
            deviceCommands->Recordings();
            break;
        case CmdChangePassword:
            deviceCommands->ChangePassword();
            break;
        case CmdNetworkSettings:
            deviceCommands->NetworkSettings();
            break;
        case CmdRestoreProgram:
            deviceCommands->RestoreProgram();
            break;
        case CmdOptionMask: {
            // The mask travels in the replies only while the dialog is open.
            OptionMaskDialog dialog(devices->OptionMask(), this);
            dialog.exec();
            break;
        }
        case CmdDemoDevice:
            ToggleDemo();
            break;
        case CmdDemoKnock:
            devices->Demo().KnockCamera(1);
            break;
        case CmdDemoStraighten:
            devices->Demo().Straighten();
            break;
        case CmdExport: {
            auto* dialog = new ExportDialog([](ExportDialog& d) { return MakeExportRunner(d); }, this);
            connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
            dialog->setWindowModality(Qt::ApplicationModal);
            dialog->show();
            break;
        }
        case CmdDisconnect:
            PostDeviceJob(JobDisconnect, false);
            break;
        case CmdRestart:
            PostDeviceJob(JobRestart, true);
            break;
        case CmdDownloadProgram:
            deviceCommands->DownloadProgram();
            break;
        case CmdFollowCamera:
            if (liveSite->MenuCamera() >= 0)
                liveSite->FollowCamera(unsigned(liveSite->MenuCamera()));
            break;
        case CmdLiveDetectors: // its toggled signal does the work
            break;
        case CmdViewOptionA:
            devices->LiveCore().ToggleViewOptionA();
            break;
        case CmdViewOptionB:
            devices->LiveCore().ToggleViewOptionB();
            break;
        case CmdConfigTest: {
            ConfigTestDialog dialog(View().State(), *prompter, this);
            dialog.exec();
            break;
        }
        case CmdHelp:
            QDesktopServices::openUrl(
                QUrl::fromLocalFile(QString::fromStdString(ResourceDirectory()) + QStringLiteral("/Help.pdf")));
            break;
        case CmdAbout: {
            AboutDialog dialog(this);
            dialog.exec();
            break;
        }
        default:
            if (id == CmdLanguageAuto || (id >= CmdLanguageFirst && id <= CmdLanguageLast))
                ChooseLanguage(id);
            else
                View().Command(id);
            break;
        }
    } catch (const std::exception& e) {
        prompter->Error(nullptr, QString::fromUtf8(e.what()));
    }
    // Checkable actions flip themselves when clicked; put them back to what
    // the view and the toggles say.
    View().UpdateToolbar();
    UpdateMenuStates();
}

void MainFrame::OpenAtStart(const std::string& path) {
    try {
        projects->Open(path);
        tabView->setCurrentIndex(1);
    } catch (const std::exception& e) {
        prompter->Error(nullptr, QString::fromUtf8(e.what()));
    }
}

void MainFrame::FollowPath(const std::string& path) {
    SetTitle(path);
    // The document names its file after every open and save: that project
    // goes to the top of the recent list.
    if (recent && !path.empty())
        recent->Add(QString::fromStdString(path));
}

void MainFrame::OpenRecent(const QString& path) {
    View().CancelDrag();
    try {
        if (!projects->MayClose())
            return;
        projects->Open(path.toStdString());
        View().ProjectReplaced();
        tabView->setCurrentIndex(1);
    } catch (const std::exception& e) {
        prompter->Error(this, QString::fromUtf8(e.what()));
    }
}

bool MainFrame::RestoreSettings() {
    PaneToggles toggles{panes.Shown(PaneTable::Composer), panes.Shown(PaneTable::Inspector),
                        panes.Shown(PaneTable::Explorer), panes.Shown(PaneTable::Tuning)};
    QStringList unplaced;
    if (!RestoreFrameLayout(*this, toggles, unplaced))
        return false;
    panes.SetShown(PaneTable::Composer, toggles.composer);
    panes.SetShown(PaneTable::Inspector, toggles.inspector);
    panes.SetShown(PaneTable::Explorer, toggles.explorer);
    panes.SetShown(PaneTable::Tuning, toggles.tuning);
    panes.KeepPlaces(unplaced);
    panes.SyncChecks();
    MarkChanged(PanesChanged);
    return true;
}

void MainFrame::StartRecovery(int interval_ms, int changesPerCopy) {
    recovery->Start(interval_ms, changesPerCopy);
    if (recovery->OfferPending(*prompter, this,
                               [this](const QString& text) { statusBar->ShowText(text.toStdString()); })) {
        View().ProjectReplaced();
        tabView->setCurrentIndex(1);
    }
}

void MainFrame::closeEvent(QCloseEvent* event) {
    bool mayClose = false;
    try {
        mayClose = projects->MayClose();
    } catch (const std::exception& e) {
        prompter->Error(nullptr, QString::fromUtf8(e.what()));
    }
    if (!mayClose) {
        event->ignore();
        return;
    }
    event->accept();
    SaveFrameLayout(*this,
                    {panes.Shown(PaneTable::Composer), panes.Shown(PaneTable::Inspector),
                     panes.Shown(PaneTable::Explorer), panes.Shown(PaneTable::Tuning)},
                    panes.Unplaced());
    // Saved or let go on purpose: nothing is left to recover.
    recovery->RemoveCopy();
    // The floating panes go with the frame; the application ends when its
    // last main window has closed.
    panes.HideAll();
}

} // namespace korvex
