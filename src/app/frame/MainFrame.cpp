#include "app/frame/MainFrame.h"

#include "app/common/Commands.h"
#include "app/common/Icons.h"
#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/composer/ComposerFrame.h"
#include "app/device/DeviceCommands.h"
#include "app/device/Explorer.h"
#include "app/device/Ipv4Edit.h"
#include "app/editor/Inspector.h"
#include "app/editor/ProblemsView.h"
#include "app/frame/DeviceWindowSet.h"
#include "app/frame/FrameSettings.h"
#include "app/frame/LiveSiteLink.h"
#include "app/frame/RecentProjects.h"
#include "app/frame/StepName.h"
#include "app/frame/TabView.h"
#include "app/live/LiveView.h"
#include "app/session/DeviceSession.h"
#include "app/session/ProjectRecovery.h"
#include "app/session/ProjectSession.h"
#include "app/sinks/DeviceListForwarder.h"
#include "app/sinks/LiveForwarders.h"
#include "app/sinks/StatusForwarder.h"
#include "app/sinks/UiPost.h"
#include "app/tuning/TuningFrame.h"
#include "app/widgets/PaneDock.h"
#include "app/widgets/ScrollView.h"
#include "app/widgets/StatusBar.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <QAbstractEventDispatcher>
#include <QAbstractItemModel>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <utility>

namespace korvex {

MainFrame::MainFrame(FrameOptions options)
    : startWorkers(options.startWorkers), actions(this, [this](int id) { OnCommand(id); }),
      panes(*this, actions) {
    if (options.prompter) {
        prompter = options.prompter;
    } else {
        ownPrompter = std::make_unique<QtPrompter>();
        prompter = ownPrompter.get();
    }
    setObjectName(QStringLiteral("MainFrame"));
    setWindowIcon(ProgramIcon());
    setWindowTitle(QStringLiteral("Korvex[*]"));
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);

    projects = std::make_unique<ProjectSession>(*prompter, this);
    recovery = std::make_unique<ProjectRecovery>(*projects);
    statusSink = std::make_unique<StatusForwarder>(*prompter);
    liveSink = std::make_unique<LiveViewForwarder>();
    tuningSink = std::make_unique<TuningForwarder>();
    // The device windows' forwarders are the session's dialog sinks; an
    // upload keeps the program it replaces in their history.
    deviceWindows = std::make_unique<DeviceWindowSet>(*this, *prompter);
    devices = std::make_unique<DeviceSession>(
        DeviceSessionSinks{*statusSink, *liveSink, *tuningSink, &deviceWindows->HostKeys(),
                           &deviceWindows->History(), &deviceWindows->Results()},
        options.makeDemo ? options.makeDemo() : nullptr);
    deviceWindows->Bind(devices->Session());
    deviceListSink = std::make_unique<DeviceListForwarder>(devices->Devices());
    devices->Devices().SetSink(deviceListSink.get());
    deviceCommands = &deviceWindows->Commands();

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
    FollowRestarts();

    QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                    : QRect(0, 0, 1280, 800);
    resize(std::min(1280, screen.width()), std::min(860, screen.height()));
    View().GetDocument(); // the document already holds a new project
    View().UpdateToolbar();
    InstallIdleHook();
    documentChanges = View().GetDocument().Subscribe([this](uint32_t what) { MarkChanged(what); });
    MarkChanged(AllChanges);
}

MainFrame::~MainFrame() {
    // A field still being typed in is left now, while the project it
    // commits to exists: later, as the panes go, it would commit to nothing.
    // The floating panes are windows of their own, each with its focus.
    QList<QWidget*> windows = findChildren<QWidget*>();
    windows.append(this);
    for (QWidget* w : windows)
        if (w->isWindow() && w->focusWidget())
            w->focusWidget()->clearFocus();
    StopThreads();
}

MainView& MainFrame::View() {
    return tabView->View();
}

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
    deviceCommands->aliasOf = [this](const QString& address) {
        const uint32_t network = NetworkOrderOf(address);
        for (const std::string& line : devices->Devices().Lines())
            if (network && line.rfind(address.toStdString() + " (", 0) == 0 && line.back() == ')')
                return QString::fromStdString(
                    line.substr(address.size() + 2, line.size() - address.size() - 3));
        return QString();
    };
    auto showRemembered = [this] {
        explorer->ShowRemembered(deviceWindows->Remembered().All(), [this](const QString& address) {
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
    connect(explorer, &Explorer::RememberedForgotten, this,
            [this, showRemembered](const QString& address, uint16_t port) {
                deviceWindows->Remembered().Forget(address, port);
                showRemembered();
            });
}

void MainFrame::StopThreads() {
    if (liveSite)
        liveSite->StopWatch();
    devices->StopAll();
}

void MainFrame::BuildPanes() {
    inspector = new Inspector(projects->GetDocument(), *prompter);
    panes.Add(PaneTable::Inspector, Text(text::app_pane_inspector), QStringLiteral("inspectorPane"),
              inspector, CmdToggleInspector, PaneTable::EditorPage, true);
    // The composer edits the document only through the core's composer
    // edits; the undo steps they make mark the document changed, and the
    // idle pass lays the composer out once for them.
    composerFrame = new ComposerFrame;
    composerFrame->SetLayoutDeferred(true);
    composerFrame->Attach(&projects->GetDocument(),
                          [this] { return static_cast<uint32_t>(View().ActiveCard()); });
    panes.Add(PaneTable::Composer, composerFrame->windowTitle(), QStringLiteral("composerPane"),
              composerFrame, CmdToggleComposer, PaneTable::EditorPage, true);
    explorer = new Explorer;
    deviceListSink->AttachExplorer(explorer);
    PaneDock* explorerDock =
        panes.Add(PaneTable::Explorer, explorer->Caption(), QStringLiteral("explorerPane"), explorer,
                  CmdToggleExplorer, PaneTable::LivePage, true);
    connect(explorer, &Explorer::CaptionChanged, explorerDock, &QDockWidget::setWindowTitle);

    tuningFrame = new TuningFrame(projects->GetDocument());
    tuningFrame->SetSelection(tuningSink.get());
    tuningSink->AttachView(tuningFrame,
                           [frame = tuningFrame](const TuningCurve& curve) { frame->SetCurve(curve); });
    panes.Add(PaneTable::Tuning, Text(text::tuning_title), QStringLiteral("tuningPane"), tuningFrame,
              CmdToggleTuning, PaneTable::AnyPage, false);
}

// ---- states -----------------------------------------------------------------

void MainFrame::SetTitle(const std::string& path) {
    // "[*]" is where Qt shows the unsaved mark while the window is marked
    // modified (RefreshStates follows the document).
    QString title = path.empty() ? QStringLiteral("Korvex[*]")
                                 : QString::fromStdString(path) + QStringLiteral("[*] - Korvex");
    if (windowTitle() != title)
        setWindowTitle(title);
}

void MainFrame::RefreshStates(uint32_t flags) {
    Document& document = View().GetDocument();
    if (flags & DocumentChange::Content) {
        SetEnabled(actions[CmdSave], document.Modified());
        setWindowModified(document.Modified());
        SetEnabled(actions[CmdUndo], document.CanUndo());
        SetEnabled(actions[CmdRedo], document.CanRedo());
        NameUndoSteps();
    }
    // The detector-bound commands follow the selection in the view, which
    // hears of it itself.
    if (flags & PanesChanged)
        panes.Apply(tabView->ActiveTab() == 1);
}

void MainFrame::NameUndoSteps() {
    // Edit > Undo and Redo say which step they take ("Undo move A1"); with
    // nothing to take they keep their plain text.
    const Document& document = View().GetDocument();
    auto name = [](QAction* action, unsigned plain, unsigned named, const std::string& step) {
        const QString text =
            step.empty() ? Text(plain) : QString::fromStdString(FillText(LoadTextA(named), {step}));
        if (action->text() != text)
            action->setText(text);
    };
    name(actions[CmdUndo], text::app_undo, text::onsite_undo_step, UndoStepName(document));
    name(actions[CmdRedo], text::app_redo, text::onsite_redo_step, RedoStepName(document));
}

void MainFrame::ProcessChanges() {
    // The panes that follow the document (the main view, the inspector, the
    // tuning window) hear of its changes here, each for itself; the frame
    // then does what spans several panes, in order.
    View().GetDocument().DeliverChanges();
    const uint32_t flags = std::exchange(changes, 0);
    if (flags & DocumentChange::Path)
        FollowPath(View().GetDocument().Path());
    if (flags & (DocumentChange::Content | PanesChanged | DocumentChange::Selection)) {
        RefreshStates(flags);
        if (flags & DocumentChange::Content) {
            problemsView->Rebuild(View().State());
            recovery->DocumentChanged();
            RefreshComparison();
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
}

void MainFrame::LayoutComposer() {
    composerStale = !ComposerPane().isVisible();
    if (!composerStale)
        composerFrame->Layout();
}

// ---- MainViewHost -----------------------------------------------------------

void MainFrame::AreaPainted(uint32_t card, uint32_t number, uint32_t count) {
    if (inspector)
        inspector->AreaPainted(card, number, count);
}

bool MainFrame::RebuildProblems() {
    return problemsView && problemsView->Rebuild(View().State());
}

void MainFrame::ShowContextMenu(const QPoint& globalPos) {
    contextMenu->popup(globalPos);
}

void MainFrame::ShowStatusText(const std::string& text) {
    statusBar->ShowText(text);
}

bool MainFrame::DeviceConnected() {
    return devices->Connected();
}

bool MainFrame::ViewOptionA() const {
    return devices->LiveCore().ViewOptionA();
}
bool MainFrame::ViewOptionB() const {
    return devices->LiveCore().ViewOptionB();
}

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

bool MainFrame::PostUpload(std::vector<uint8_t> bytes) {
    return devices->Post(UploadProgramRequest{std::move(bytes)}, false);
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
