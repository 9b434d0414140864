#pragma once

#include "app/editor/MainView.h"
#include "app/frame/ActionRegistry.h"
#include "app/frame/PaneTable.h"
#include "devicelink/DeviceRequests.h"

#include <QMainWindow>
#include <QRect>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QActionGroup;
class QDockWidget;
class QLabel;
class QMenu;
class QToolBar;

namespace korvex {

struct ReportSignOff;

class ComparePane;
class ComposerFrame;
struct ReportFacts;
class DeviceCommands;
class DeviceDialogSinks;
class DeviceListForwarder;
class DemoControl;
class DeviceSession;
class DeviceWindowSet;
class Explorer;
class Inspector;
class LiveSiteLink;
class LiveViewForwarder;
class PaneDock;
class ProgramHistory;
class RememberedDevices;
class ProblemsView;
class ProjectRecovery;
class ProjectSession;
class Prompter;
class RecentProjects;
class StatusBar;
class StatusForwarder;
class TabView;
class TuningForwarder;
class TuningFrame;

struct FrameOptions {
    // Boxes and file dialogs; null = the real ones.
    Prompter* prompter = nullptr;
    // Start the device session and discovery threads (tests leave them).
    bool startWorkers = true;
    // Makes the demo device of Help > Demo device (none: the item is off).
    std::function<std::unique_ptr<DemoControl>()> makeDemo;
};

// The top-level window: toolbar, tab view (live page and editor), problems
// list, status bar and the floating panes. It routes every command, keeps
// toolbar and menu states, and runs the deferred refreshes the change flags
// ask for whenever the event queue runs empty.
class MainFrame : public QMainWindow, public MainViewHost {
    Q_OBJECT
public:
    explicit MainFrame(FrameOptions options = {});
    ~MainFrame() override;

    // Starts the worker threads, places the floating panes and shows the
    // frame (the last step of start-up).
    void Create();
    // Stops "Connection", then "Live", then "Scan"; safe to call twice.
    void StopThreads();

    // Opens a project given when the program starts (errors are shown).
    void OpenAtStart(const std::string& path);
    // Puts the window and its panes where they were at the last close
    // (before Create); false on a first start.
    bool RestoreSettings();
    // Keeps copies of unsaved changes from now on and offers the copies a
    // run that ended without closing left behind.
    void StartRecovery(int interval_ms = 60000, int changesPerCopy = 20);
    // Carries out a command; errors are shown in an error box.
    void OnCommand(int id);
    // The loop's deferred refresh: delivers the document's changes, then
    // brings the window up to date for all of them at once, in order: title,
    // states, problems, layout, selection-bound panes and repaint.
    void ProcessChanges();
    void RefreshStates(uint32_t flags);
    void SetTitle(const std::string& path);

    MainView& View();
    ProjectSession& Projects() { return *projects; }
    // Asks for the report's site and engineer (false: cancelled); a frame
    // given its prompter (tests) asks nothing unless given one.
    std::function<bool(ReportSignOff&)> askSignOff;
    ProjectRecovery& Recovery() { return *recovery; }
    RecentProjects& Recent() { return *recent; }
    DeviceSession& Devices() { return *devices; }
    StatusForwarder& StatusSinkForWorkers() { return *statusSink; }
    TabView& Tabs() { return *tabView; }
    Inspector& GetInspector() { return *inspector; }
    Explorer& GetExplorer() { return *explorer; }
    DeviceCommands& DeviceWindows() { return *deviceCommands; }
    ProblemsView& Problems() { return *problemsView; }
    StatusBar& Status() { return *statusBar; }
    QToolBar& ToolBar() { return *toolbar; }
    PaneDock& InspectorPane() { return panes.Dock(PaneTable::Inspector); }
    PaneDock& ComposerPane() { return panes.Dock(PaneTable::Composer); }
    ComposerFrame& Composer() { return *composerFrame; }
    PaneDock& ExplorerPane() { return panes.Dock(PaneTable::Explorer); }
    PaneDock& TuningPane() { return panes.Dock(PaneTable::Tuning); }
    QMenu& LanguageMenu() { return *languageMenu; }
    QMenu& ContextMenu() { return *contextMenu; }
    const std::vector<std::string>& Languages() const { return languages; }
    bool ShowingInspector() const { return panes.Shown(PaneTable::Inspector); }
    bool ShowingExplorer() const { return panes.Shown(PaneTable::Explorer); }
    bool ShowingTuning() const { return panes.Shown(PaneTable::Tuning); }
    TuningFrame& Tuning() { return *tuningFrame; }
    LiveSiteLink& LiveSite() { return *liveSite; }
    // The live view's options, kept by the live core.
    bool ViewOptionA() const;
    bool ViewOptionB() const;
    // Starts the demo device and shows the live page; throws when the
    // device cannot start.
    void StartDemo(bool usualPortsFirst = true);
    // Menu states as they are set when a menu opens.
    void UpdateMenuStates();
    // The project tools (ProjectTools.cpp): the comparison pane and the
    // report's title-page facts.
    ComparePane& Comparison();
    QDockWidget& ComparisonDock();
    ReportFacts ReportFactsNow();

    // MainViewHost
    Prompter& Prompts() override { return *prompter; }
    QWidget* DialogOwner() override { return this; }
    QAction* Action(int command) override;
    void AreaPainted(uint32_t card, uint32_t number, uint32_t count) override;
    bool RebuildProblems() override;
    void ShowStatusText(const std::string& text) override;
    void ShowContextMenu(const QPoint& globalPos) override;
    bool CopyLivePicture(int camera, Bitmap& out) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    // The device session as the upload sees it (tests put a recorder here).
    virtual bool DeviceConnected();
    // Posts the program upload; false while another job is pending.
    virtual bool PostUpload(std::vector<uint8_t> bytes);

private:
    void BuildMenus();
    void BuildToolbar();
    void BuildLanguageMenu();
    void BuildPanes();
    void BuildDeviceWindows();
    void ChooseLanguage(int id);
    void PostDeviceJob(DeviceRequest request, bool needsConnection);
    // Device restarts (DeviceRestarts.cpp): the question before a restart,
    // the live page's note while the device is away, and the offer to
    // connect when logging in again failed.
    void RestartDevice();
    void FollowRestarts();
    void RestartStageChanged(int stage, const QString& detail);
    // The commands of one area each (FrameCommands.cpp); false: not theirs.
    bool FileCommand(int id);
    bool ViewCommand(int id);
    bool DeviceCommand(int id);
    bool ToolsCommand(int id);
    bool HelpCommand(int id);
    void TogglePane(int pane);
    void ConnectChosenDevice();
    // The file commands, with any drag in the view dropped first.
    void ProjectCommand(int id);
    void OpenRecent(const QString& path);
    void Upload();
    void InstallIdleHook();
    // What the next idle refresh brings up to date: the document's changes
    // (DocumentChange bits) and the frame's own.
    static constexpr uint32_t PanesChanged = 0x100, AllChanges = 0x1FF;
    void MarkChanged(uint32_t what) { changes |= what; }
    // The title and the recent list follow the file the document is under.
    void FollowPath(const std::string& path);
    void ToggleDemo();
    void SelectDemoRow();
    // Lays the composer out now, or when it next shows if it is hidden.
    void LayoutComposer();
    // Opens the guide, or says where it is when nothing can show it.
    void ShowHelp();
    // The camera the demo's knock item moves.
    int KnockTarget() const;
    // Edit > Undo and Redo name the step they take.
    void NameUndoSteps();
    void BuildProjectTools();
    void ExportReport();
    void CompareWith();
    void CompareWithDeviceProgram();
    void ShowComparison(const QString& source, const RenderState& other);
    // Lists the changes again after an edit of the project.
    void RefreshComparison();

    std::unique_ptr<Prompter> ownPrompter;
    Prompter* prompter;
    bool startWorkers;
    ActionRegistry actions;
    PaneTable panes;
    // The project document, and the forwarders every worker reports
    // through; they outlive the device session, which stops its threads
    // before anything it reports to goes.
    std::unique_ptr<ProjectSession> projects;
    std::unique_ptr<StatusForwarder> statusSink;
    std::unique_ptr<LiveViewForwarder> liveSink;
    std::unique_ptr<TuningForwarder> tuningSink;
    std::unique_ptr<DeviceListForwarder> deviceListSink;
    std::unique_ptr<DeviceSession> devices;
    // Detectors over the live pictures and the moved-camera watch (stopped
    // before the session's live core goes).
    std::unique_ptr<LiveSiteLink> liveSite;
    std::unique_ptr<ProjectRecovery> recovery;
    RecentProjects* recent = nullptr;
    // The device windows: kept programs, the session's dialog forwarders,
    // devices used before, and the Device menu's windows (deviceCommands).
    std::unique_ptr<DeviceWindowSet> deviceWindows;
    DeviceCommands* deviceCommands = nullptr;
    TabView* tabView = nullptr;
    ProblemsView* problemsView = nullptr;
    StatusBar* statusBar = nullptr;
    QToolBar* toolbar = nullptr;
    Inspector* inspector = nullptr;
    Explorer* explorer = nullptr;
    TuningFrame* tuningFrame = nullptr;
    ComposerFrame* composerFrame = nullptr;
    bool composerStale = true;
    QMenu* languageMenu = nullptr;
    QMenu* contextMenu = nullptr;
    QActionGroup* languageGroup = nullptr;
    std::vector<std::string> languages;
    bool idlePosted = false;
    uint32_t changes = 0;
    ChangeChannel::Subscription documentChanges;
    ComparePane* comparePane = nullptr;
    QDockWidget* compareDock = nullptr;
    // What the comparison pane compares the project with: it follows every
    // later edit of the project.
    std::unique_ptr<RenderState> comparedState;
    QString comparedSource;
    // What the device said of itself when it was connected.
    QString deviceFirmware;
    unsigned deviceCameras = 0;
};

} // namespace korvex
