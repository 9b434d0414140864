#include "app/frame/MainFrame.h"

#include "app/common/AppStrings.h"
#include "app/common/Commands.h"
#include "app/common/Icons.h"
#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/device/DeviceCommands.h"
#include "app/device/Explorer.h"
#include "app/device/Ipv4Edit.h"
#include "app/export/ExportDialog.h"
#include "app/dialogs/AboutDialog.h"
#include "app/dialogs/ConfigTestDialog.h"
#include "app/editor/Inspector.h"
#include "app/editor/ProblemsView.h"
#include "app/frame/TabView.h"
#include "app/live/LivePage.h"
#include "app/session/DeviceSession.h"
#include "app/session/ProjectSession.h"
#include "app/sinks/DeviceDialogSinks.h"
#include "app/sinks/DeviceListForwarder.h"
#include "app/sinks/ExportRunner.h"
#include "app/sinks/FileChooserBridge.h"
#include "app/sinks/LiveForwarders.h"
#include "app/sinks/StatusForwarder.h"
#include "app/widgets/PaneDock.h"
#include "app/widgets/ScrollView.h"
#include "app/widgets/StatusBar.h"
#include "devicelink/DeviceTexts.h"
#include "devicelink/ProgramHistory.h"
#include "framework/ChangeFlags.h"
#include "framework/Language.h"
#include "framework/StringTable.h"

#include <QAbstractEventDispatcher>
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

namespace korvex {

MainFrame::MainFrame(FrameOptions options) : startWorkers(options.startWorkers) {
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
    statusSink = std::make_unique<StatusForwarder>(*prompter);
    fileChooser = std::make_unique<FileChooserBridge>(*prompter);
    liveSink = std::make_unique<LiveViewForwarder>();
    tuningSink = std::make_unique<TuningForwarder>();
    devices = std::make_unique<DeviceSession>(DeviceSessionSinks{*statusSink, *fileChooser, *liveSink, *tuningSink});
    deviceListSink = std::make_unique<DeviceListForwarder>(devices->Devices());
    devices->Devices().SetSink(deviceListSink.get());
    fileChooser->Attach(this);
    // The device windows' forwarders take the session's dialog sinks (the
    // program download's path is asked before the job, so the session
    // never waits for a file dialog); an upload keeps the program it
    // replaces.
    programHistory = std::make_unique<ProgramHistory>();
    devices->Session().programHistory = programHistory.get();
    deviceDialogs = std::make_unique<DeviceDialogSinks>(devices->Session());
    rememberedDevices = std::make_unique<RememberedDevices>();

    BuildActions();
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

    connect(explorer, &Explorer::RowChosen, this,
            [this](int row) { tabView->Live().SetTarget(devices->ChooseDevice(row)); });
    connect(tabView, &TabView::ActiveTabChanged, this, [this] { UpdateMenuStates(); });
    BuildDeviceWindows();

    QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                    : QRect(0, 0, 1280, 800);
    resize(std::min(1280, screen.width()), std::min(860, screen.height()));
    View().GetDocument(); // the document already holds a new project
    View().UpdateToolbar();
    InstallIdleHook();
    ChangeFlags::Mark(ChangeFlags::DocumentChanged | ChangeFlags::PanesChanged | ChangeFlags::SelectionChanged |
                      ChangeFlags::LayoutChanged);
}

MainFrame::~MainFrame() { StopThreads(); }

MainView& MainFrame::View() { return tabView->View(); }

void MainFrame::InstallIdleHook() {
    // The deferred refreshes run once each time the event queue has been
    // drained: the hook sees the loop about to wait, and if any change bit
    // is marked it posts one refresh, which takes the whole word at once.
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread());
    if (!dispatcher)
        return;
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
        if (idlePosted || ChangeFlags::Peek() == 0)
            return;
        idlePosted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                idlePosted = false;
                ProcessChanges(ChangeFlags::TakeAll());
            },
            Qt::QueuedConnection);
    });
}

void MainFrame::Create() {
    if (startWorkers)
        devices->Start();
    show();
    PlacePanes();
    ChangeFlags::Mark(ChangeFlags::PanesChanged | ChangeFlags::LayoutChanged);
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
    // A download waiting for its file dialog gives up first, so the
    // session thread can end.
    fileChooser->Close();
    devices->StopAll();
}

// ---- actions, menus, toolbar ----------------------------------------------

QAction* MainFrame::Action(int command) {
    auto it = actions.find(command);
    return it == actions.end() ? nullptr : it->second;
}

QAction* MainFrame::MakeAction(int id) {
    auto* action = new QAction(Text(MenuTextId(id)), this);
    action->setData(id);
    action->setObjectName(QStringLiteral("cmd%1").arg(id));
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    actions[id] = action;
    return action;
}

void MainFrame::BuildActions() {
    static const int all[] = {
        CmdNew,           CmdOpen,          CmdSave,           CmdSaveAs,          CmdLoadBackground,
        CmdLiveBackgrounds, CmdExit,        CmdUndo,           CmdRedo,            CmdCopy,
        CmdPaste,         CmdDelete,        CmdAddQuad,        CmdAddLine,         CmdAddQuadHere,
        CmdAddLineHere,   CmdZoomIn,        CmdZoomOut,        CmdToggleComposer,  CmdToggleInspector,
        CmdToggleExplorer, CmdToggleTuning, CmdViewOptionA,    CmdViewOptionB,     CmdModeReshape,
        CmdModeErase,     CmdModeMove,      CmdModeAim,        CmdModeMoveCard,    CmdRestoreProgram,
        CmdPenWidth1,
        CmdPenWidth2,     CmdPenWidth3,     CmdPenWidth4,      CmdNoPattern,       CmdDivisions1,
        CmdDivisions2,    CmdDivisions3,    CmdDivisions4,     CmdDivisions5,      CmdDivisions6,
        CmdFill20,        CmdFill100,       CmdConnect,        CmdDisconnect,      CmdUpload,
        CmdDownloadProgram, CmdRestart,     CmdRecordings,     CmdNetworkSettings, CmdChangePassword,
        CmdOptionMask,    CmdExport,        CmdConfigTest,     CmdHelp,            CmdAbout,
    };
    for (int id : all)
        MakeAction(id);
    static const int checkable[] = {
        CmdToggleComposer, CmdToggleInspector, CmdToggleExplorer, CmdToggleTuning, CmdViewOptionA,
        CmdViewOptionB,    CmdModeReshape,     CmdModeErase,      CmdModeMove,     CmdModeAim,
        CmdModeMoveCard,   CmdPenWidth1,       CmdPenWidth2,      CmdPenWidth3,    CmdPenWidth4,
        CmdNoPattern,      CmdDivisions1,      CmdDivisions2,     CmdDivisions3,   CmdDivisions4,
        CmdDivisions5,     CmdDivisions6,      CmdFill20,         CmdFill100,
    };
    for (int id : checkable)
        actions[id]->setCheckable(true);

    actions[CmdNew]->setShortcut(QKeySequence::New);
    actions[CmdOpen]->setShortcut(QKeySequence::Open);
    actions[CmdSave]->setShortcut(QKeySequence::Save);
    actions[CmdSaveAs]->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    actions[CmdUndo]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    actions[CmdRedo]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y));
    actions[CmdCopy]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    actions[CmdPaste]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    actions[CmdDelete]->setShortcut(QKeySequence(Qt::Key_Delete));
    actions[CmdZoomIn]->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    actions[CmdZoomOut]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    actions[CmdExit]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    actions[CmdHelp]->setShortcut(QKeySequence(Qt::Key_F1));
    actions[CmdAddQuad]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    actions[CmdAddLine]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    actions[CmdModeReshape]->setShortcut(QKeySequence(Qt::Key_R));
    actions[CmdModeErase]->setShortcut(QKeySequence(Qt::Key_E));
    actions[CmdModeMove]->setShortcut(QKeySequence(Qt::Key_M));
    actions[CmdModeAim]->setShortcut(QKeySequence(Qt::Key_A));
    actions[CmdModeMoveCard]->setShortcut(QKeySequence(Qt::Key_C));
    for (auto& [id, action] : actions)
        action->setShortcutContext(Qt::WindowShortcut);
}

void MainFrame::BuildToolbar() {
    toolbar = addToolBar(QStringLiteral("Korvex"));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setIconSize(QSize(16, 16));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->toggleViewAction()->setEnabled(false);
    int k = 0;
    for (const ToolbarEntry& entry : kToolbar) {
        if (entry.command == 0) {
            toolbar->addSeparator();
            continue;
        }
        ++k;
        QAction* action = actions[entry.command];
        action->setIcon(ToolbarIcon(entry.image));
        action->setToolTip(Text(TooltipId(k)));
        action->setStatusTip(Text(TooltipId(k)));
        toolbar->addAction(action);
    }
}

void MainFrame::BuildMenus() {
    auto add = [this](QMenu* menu, std::initializer_list<int> ids) {
        for (int id : ids) {
            if (id == 0)
                menu->addSeparator();
            else
                menu->addAction(actions[id]);
        }
    };
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(Text(kStrMenuFile));
    add(file, {CmdNew, CmdOpen, CmdSave, CmdSaveAs, 0, CmdLoadBackground, CmdLiveBackgrounds, 0, CmdExit});
    QMenu* edit = bar->addMenu(Text(kStrMenuEdit));
    add(edit, {CmdUndo, CmdRedo, 0, CmdCopy, CmdPaste, CmdDelete, 0, CmdAddQuad, CmdAddLine});
    QMenu* view = bar->addMenu(Text(kStrMenuView));
    add(view, {CmdZoomIn, CmdZoomOut, 0, CmdToggleInspector, CmdToggleComposer, CmdToggleExplorer, CmdToggleTuning,
               0, CmdViewOptionA, CmdViewOptionB});
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
    add(help, {CmdHelp, 0, CmdAbout});
    for (QMenu* menu : {file, edit, view, detector, device, tools, help})
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
    std::string chosen = ReadLanguage();
    languages.clear();
    for (const std::string& name : AvailableLanguages()) {
        if (languages.size() >= 31)
            break;
        int id = CmdLanguageFirst + static_cast<int>(languages.size());
        languages.push_back(name);
        auto* action = new QAction(QString::fromStdString(name), this);
        action->setObjectName(QStringLiteral("cmd%1").arg(id));
        action->setCheckable(true);
        action->setChecked(name == chosen);
        languageGroup->addAction(action);
        languageMenu->addAction(action);
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        actions[id] = action;
    }
    languageMenu->addSeparator();
    QAction* automatic = MakeAction(CmdLanguageAuto);
    automatic->setCheckable(true);
    automatic->setChecked(chosen == "auto");
    languageGroup->addAction(automatic);
    languageMenu->addAction(automatic);
}

void MainFrame::BuildPanes() {
    inspector = new Inspector(View(), *prompter);
    inspectorDock = new PaneDock(Text(kStrPaneInspector), this);
    inspectorDock->setObjectName(QStringLiteral("inspectorPane"));
    inspectorDock->setWidget(inspector);
    inspectorDock->SetClosedHandler([this] {
        showInspector = false;
        actions[CmdToggleInspector]->setChecked(false);
    });

    auto placeholder = [](unsigned textId) {
        auto* label = new QLabel(Text(textId));
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignCenter);
        label->setMargin(12);
        label->setEnabled(false);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        label->setMinimumSize(40, 40);
        return label;
    };
    composerDock = new PaneDock(Text(kStrPaneComposer), this);
    composerDock->setObjectName(QStringLiteral("composerPane"));
    composerDock->setWidget(placeholder(kStrComposerPlaceholder));
    composerDock->SetClosedHandler([this] {
        showComposer = false;
        actions[CmdToggleComposer]->setChecked(false);
    });

    explorer = new Explorer;
    deviceListSink->AttachExplorer(explorer);
    explorerDock = new PaneDock(explorer->Caption(), this);
    explorerDock->setObjectName(QStringLiteral("explorerPane"));
    explorerDock->setWidget(explorer);
    explorerDock->SetClosedHandler([this] {
        showExplorer = false;
        actions[CmdToggleExplorer]->setChecked(false);
    });
    connect(explorer, &Explorer::CaptionChanged, explorerDock, &QDockWidget::setWindowTitle);

    tuningDock = new PaneDock(Text(kStrPaneTuning), this);
    tuningDock->setObjectName(QStringLiteral("tuningPane"));
    tuningDock->setWidget(placeholder(kStrTuningPlaceholder));
    tuningDock->SetClosedHandler([this] {
        showTuning = false;
        actions[CmdToggleTuning]->setChecked(false);
    });

    for (PaneDock* dock : {inspectorDock, composerDock, explorerDock, tuningDock}) {
        addDockWidget(Qt::RightDockWidgetArea, dock);
        dock->setFloating(true);
        dock->hide();
    }
    actions[CmdToggleComposer]->setChecked(showComposer);
    actions[CmdToggleInspector]->setChecked(showInspector);
    actions[CmdToggleExplorer]->setChecked(showExplorer);
    actions[CmdToggleTuning]->setChecked(showTuning);
}

void MainFrame::PlacePanes() {
    // Floating panes sit inside the frame's right edge, below the toolbar:
    // the inspector with the composer under it, the device list in the
    // same place (it shows on the other page), the tuning window to the
    // inspector's left.
    QRect f = frameGeometry();
    const int paneWidth = 213;
    int inspectorHeight = std::max(inspectorDock->sizeHint().height(), 300);
    QRect inspectorRect(f.right() - 20 - paneWidth, f.top() + 80, paneWidth, inspectorHeight);
    placements[inspectorDock] = inspectorRect;
    placements[composerDock] = QRect(f.right() - 233, f.top() + inspectorHeight + 84, 213, 335);
    placements[explorerDock] = QRect(f.right() - 20 - paneWidth, f.top() + 80, paneWidth, 300);
    placements[tuningDock] = QRect(inspectorRect.left() - 344, f.top() + 80, 340, 600);
    for (auto it = placements.begin(); it != placements.end();) {
        if (it->first->isVisible()) {
            it->first->setGeometry(it->second);
            it = placements.erase(it);
        } else {
            ++it;
        }
    }
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
    if (flags & ChangeFlags::DocumentChanged) {
        Enable(actions[CmdSave], document.Modified());
        Enable(actions[CmdUndo], document.HistorySize() > 0 && document.CurrentIndex() >= 1);
        Enable(actions[CmdRedo], static_cast<size_t>(document.CurrentIndex()) + 1 < document.HistorySize());
    }
    if (flags & ChangeFlags::SelectionChanged) {
        const Detector* sel = document.Current().SelectedDetector();
        Enable(actions[CmdModeErase], sel != nullptr);
        Enable(actions[CmdModeAim], sel != nullptr && sel->directional);
    }
    if (flags & ChangeFlags::PanesChanged) {
        bool editing = tabView->ActiveTab() == 1;
        auto show = [this](PaneDock* dock, bool on) {
            if (dock->isVisible() == on)
                return;
            dock->setVisible(on);
            // A pane gets its place the first time it shows; after that it
            // stays where the user puts it.
            auto placed = placements.find(dock);
            if (on && placed != placements.end()) {
                dock->setGeometry(placed->second);
                placements.erase(placed);
            }
        };
        show(composerDock, showComposer && editing);
        show(inspectorDock, showInspector && editing);
        show(explorerDock, showExplorer && !editing);
        show(tuningDock, showTuning);
    }
}

void MainFrame::ProcessChanges(uint32_t flags) {
    if (flags & (ChangeFlags::DocumentChanged | ChangeFlags::PanesChanged | ChangeFlags::SelectionChanged)) {
        RefreshStates(flags);
        if (flags & ChangeFlags::DocumentChanged)
            problemsView->Rebuild(View().State());
    }
    if (flags & ChangeFlags::LayoutChanged) {
        View().Relayout();
        tabView->Scroll().Update();
        View().update();
    }
    if (flags & ChangeFlags::SelectionChanged) {
        inspector->ShowDetector(View().State().SelectedDetector());
        // The menu states too: the commands that need an active card keep
        // their shortcuts (Ctrl+D, Ctrl+L) working only while enabled, so
        // they follow every card change, not just the next menu opening.
        View().UpdateMenuStates();
        View().update();
    }
}

void MainFrame::UpdateMenuStates() {
    View().UpdateMenuStates();
    actions[CmdToggleComposer]->setChecked(showComposer);
    actions[CmdToggleInspector]->setChecked(showInspector);
    actions[CmdToggleExplorer]->setChecked(showExplorer);
    actions[CmdToggleTuning]->setChecked(showTuning);
    actions[CmdViewOptionA]->setChecked(viewOptionA);
    actions[CmdViewOptionB]->setChecked(viewOptionB);
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

bool MainFrame::DeviceConnected() { return devices->Connected(); }

bool MainFrame::PostUpload(std::vector<uint8_t> bytes) { return devices->PostUpload(std::move(bytes)); }

// ---- commands ---------------------------------------------------------------

void MainFrame::ShowPlaceholder(unsigned textId) { prompter->Information(this, Text(textId), QStringLiteral("Korvex")); }

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
        prompter->Error(this, Text(220));
        return;
    }
    if (!DeviceConnected())
        return;
    try {
        if (!prompter->Warning(this, Text(221), Text(222)))
            return;
        if (!projects->Save())
            return;
        // The bytes saving has just written, built again rather than read
        // back from the disk.
        if (!PostUpload(projects->FileBytes()))
            prompter->Information(this, Text(kStrUploadBusy), Text(222));
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
    WriteLanguage(name);
    prompter->Information(this, Text(275), Text(276));
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
        case CmdZoomIn:
        case CmdZoomOut:
            // The live page's zoom arrives with the live pictures.
            if (tabView->ActiveTab() == 1)
                View().Command(id);
            break;
        case CmdToggleComposer:
            showComposer = !showComposer;
            ChangeFlags::Mark(ChangeFlags::PanesChanged);
            break;
        case CmdToggleInspector:
            showInspector = !showInspector;
            ChangeFlags::Mark(ChangeFlags::PanesChanged);
            break;
        case CmdToggleExplorer:
            showExplorer = !showExplorer;
            ChangeFlags::Mark(ChangeFlags::PanesChanged);
            break;
        case CmdToggleTuning:
            showTuning = !showTuning;
            ChangeFlags::Mark(ChangeFlags::PanesChanged);
            break;
        case CmdConnect:
            if (!DeviceConnected())
                deviceCommands->Connect(devices->Devices().SelectedAddress());
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
        case CmdOptionMask:
            ShowPlaceholder(kStrDeviceDialogPlaceholder);
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
        case CmdViewOptionA:
            viewOptionA = !viewOptionA;
            break;
        case CmdViewOptionB:
            viewOptionB = !viewOptionB;
            break;
        case CmdConfigTest: {
            ConfigTestDialog dialog(View().State(), *prompter, this);
            dialog.exec();
            break;
        }
        case CmdHelp:
            QDesktopServices::openUrl(
                QUrl::fromLocalFile(QString::fromStdString(ProgramDirectory()) + QStringLiteral("/Help.pdf")));
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
    // The floating panes go with the frame; the application ends when its
    // last main window has closed.
    for (PaneDock* dock : {inspectorDock, composerDock, explorerDock, tuningDock})
        dock->hide();
}

} // namespace korvex
