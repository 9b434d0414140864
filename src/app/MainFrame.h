#pragma once

#include "app/MainView.h"

#include <QMainWindow>
#include <QRect>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QActionGroup;
class QLabel;
class QMenu;
class QToolBar;

namespace korvex {

class Connection;
class Explorer;
class FileChooserBridge;
class Inspector;
class PaneDock;
class ProblemsView;
class Prompter;
class ScanThread;
class StatusBar;
class TabView;

struct FrameOptions {
    // Boxes and file dialogs; null = the real ones.
    Prompter* prompter = nullptr;
    // Start the device session and discovery threads (tests leave them).
    bool startWorkers = true;
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
    // Stops "Connection", then "Scan" (and "Live" when it exists); safe to
    // call twice.
    void StopThreads();

    // Opens a project given when the program starts (errors are shown).
    void OpenAtStart(const std::string& path);
    // Carries out a command; errors are shown in an error box.
    void OnCommand(int id);
    // The loop's deferred refreshes for the taken change flags, in order:
    // states, problems, layout, selection-bound panes and repaint.
    void ProcessChanges(uint32_t flags);
    void RefreshStates(uint32_t flags);
    void SetTitle(const std::string& path);

    MainView& View();
    TabView& Tabs() { return *tabView; }
    Inspector& GetInspector() { return *inspector; }
    Explorer& GetExplorer() { return *explorer; }
    ProblemsView& Problems() { return *problemsView; }
    StatusBar& Status() { return *statusBar; }
    QToolBar& ToolBar() { return *toolbar; }
    PaneDock& InspectorPane() { return *inspectorDock; }
    PaneDock& ComposerPane() { return *composerDock; }
    PaneDock& ExplorerPane() { return *explorerDock; }
    PaneDock& TuningPane() { return *tuningDock; }
    QMenu& LanguageMenu() { return *languageMenu; }
    QMenu& ContextMenu() { return *contextMenu; }
    const std::vector<std::string>& Languages() const { return languages; }
    bool ShowingComposer() const { return showComposer; }
    bool ShowingInspector() const { return showInspector; }
    bool ShowingExplorer() const { return showExplorer; }
    bool ShowingTuning() const { return showTuning; }
    bool ViewOptionA() const { return viewOptionA; }
    bool ViewOptionB() const { return viewOptionB; }
    // Menu states as they are set when a menu opens.
    void UpdateMenuStates();

    // MainViewHost
    Prompter& Prompts() override { return *prompter; }
    QWidget* DialogOwner() override { return this; }
    QAction* Action(int command) override;
    void TitleChanged(const std::string& path) override { SetTitle(path); }
    void AreaPainted(uint32_t card, uint32_t number, uint32_t count) override;
    bool RebuildProblems() override;
    void ShowContextMenu(const QPoint& globalPos) override;
    bool DeviceConnected() override;
    bool PostUpload(std::vector<uint8_t> bytes) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* MakeAction(int id);
    void BuildActions();
    void BuildMenus();
    void BuildToolbar();
    void BuildLanguageMenu();
    void BuildPanes();
    void PlacePanes();
    void ChooseLanguage(int id);
    void ShowPlaceholder(unsigned textId);
    void PostDeviceJob(int code, bool needsConnection);
    void InstallIdleHook();

    std::unique_ptr<Prompter> ownPrompter;
    Prompter* prompter;
    bool startWorkers;
    TabView* tabView = nullptr;
    ProblemsView* problemsView = nullptr;
    StatusBar* statusBar = nullptr;
    QToolBar* toolbar = nullptr;
    Inspector* inspector = nullptr;
    Explorer* explorer = nullptr;
    PaneDock* inspectorDock = nullptr;
    PaneDock* composerDock = nullptr;
    PaneDock* explorerDock = nullptr;
    PaneDock* tuningDock = nullptr;
    QMenu* languageMenu = nullptr;
    QMenu* contextMenu = nullptr;
    QActionGroup* languageGroup = nullptr;
    std::map<int, QAction*> actions;
    std::map<PaneDock*, QRect> placements;
    std::vector<std::string> languages;
    bool showComposer = true;
    bool showInspector = true;
    bool showExplorer = true;
    bool showTuning = false;
    bool viewOptionA = true;
    bool viewOptionB = true;
    bool idlePosted = false;
    bool threadsStopped = false;
    std::unique_ptr<FileChooserBridge> fileChooser;
    std::unique_ptr<Connection> connection;
    std::unique_ptr<ScanThread> scanThread;
};

} // namespace korvex
