// What the window remembers between runs: recent projects, its layout and
// pane toggles, the language, and the folder of each file dialog.
#include "AppTestSupport.h"
#include "app/common/AppSettings.h"
#include "app/common/Commands.h"
#include "app/common/UiText.h"
#include "app/frame/FrameSettings.h"
#include "app/frame/RecentProjects.h"
#include "app/frame/TabView.h"
#include "app/session/ProjectSession.h"
#include "app/widgets/PaneDock.h"
#include "app/widgets/StatusBar.h"
#include "files/ProjectFile.h"
#include "framework/TextIds.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <filesystem>
#include <fstream>

namespace korvex::test {
namespace {

namespace fs = std::filesystem;

// Every test starts from empty settings.
class SettingsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
    void SetUp() override { OpenAppSettings()->clear(); }
    void TearDown() override { OpenAppSettings()->clear(); }
    // Writes an (empty-content) project file and returns its path.
    QString Project(const std::string& name) {
        const std::string path = dir.Path() + "/" + name;
        Document document;
        document.New();
        SaveProject(document, path);
        return QString::fromStdString(path);
    }
    std::unique_ptr<MainFrame> NewFrame() {
        FrameOptions options;
        options.prompter = &prompts;
        options.startWorkers = false;
        return std::make_unique<MainFrame>(options);
    }
    QStringList MenuTexts(QMenu* menu) {
        QStringList texts;
        for (QAction* a : menu->actions())
            if (!a->isSeparator())
                texts << a->text();
        return texts;
    }

    TempDir dir;
    FakePrompter prompts;
};

TEST_F(SettingsTest, RecentListKeepsTenNewestFirstAndOutlivesTheRun) {
    QString note;
    RecentProjects recent(nullptr, [&](const QString& text) { note = text; });
    std::vector<QString> files;
    for (int i = 0; i < 12; ++i)
        files.push_back(Project("p" + std::to_string(i) + ".kvx"));
    for (const QString& f : files)
        recent.Add(f);
    recent.Add(files[5]); // opened again: to the top, not twice
    QStringList expected{files[5], files[11], files[10], files[9], files[8],
                         files[7], files[6],  files[4],  files[3], files[2]};
    EXPECT_EQ(recent.Paths(), expected);
    EXPECT_EQ(MenuTexts(recent.Menu()).size(), 11); // ten entries and "clear"
    EXPECT_TRUE(MenuTexts(recent.Menu()).first().endsWith(files[5]));
    EXPECT_TRUE(note.isEmpty());

    RecentProjects nextRun(nullptr, {});
    EXPECT_EQ(nextRun.Paths(), expected);

    // A relative name is kept as the absolute path it stood for.
    const QString here = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir.Path()));
    nextRun.Add(QStringLiteral("p0.kvx"));
    QDir::setCurrent(here);
    EXPECT_EQ(nextRun.Paths().first(), files[0]);
}

TEST_F(SettingsTest, FilesThatWentAreDroppedWithANoteWhenTheMenuOpens) {
    QStringList notes;
    RecentProjects recent(nullptr, [&](const QString& text) { notes << text; });
    const QString kept = Project("kept.kvx"), gone = Project("gone.kvx"), alsoGone = Project("also.kvx");
    recent.Add(alsoGone);
    recent.Add(gone);
    recent.Add(kept);
    fs::remove(gone.toStdString());
    Q_EMIT recent.Menu()->aboutToShow();
    EXPECT_EQ(recent.Paths(), (QStringList{kept, alsoGone}));
    ASSERT_EQ(notes.size(), 1);
    EXPECT_EQ(notes[0], Text(text::app_recent_one_gone).arg(QStringLiteral("gone.kvx")));

    // Chosen after it went: taken off with its note, nothing is opened.
    QSignalSpy opened(&recent, &RecentProjects::OpenRequested);
    fs::remove(alsoGone.toStdString());
    QAction* entry = nullptr;
    for (QAction* a : recent.Menu()->actions())
        if (a->data().toString() == alsoGone)
            entry = a;
    ASSERT_NE(entry, nullptr);
    entry->trigger();
    EXPECT_EQ(opened.count(), 0);
    EXPECT_EQ(recent.Paths(), QStringList{kept});
    EXPECT_EQ(notes.size(), 2);
    // The list as stored holds only what is left.
    EXPECT_EQ(OpenAppSettings()->value(QStringLiteral("recentProjects")).toStringList(), QStringList{kept});

    // Several at once get one note with their number.
    const QString a = Project("a.kvx"), b = Project("b.kvx");
    recent.Add(a);
    recent.Add(b);
    fs::remove(a.toStdString());
    fs::remove(b.toStdString());
    EXPECT_EQ(recent.DropMissing().size(), 2);
    EXPECT_EQ(notes.back(), Text(text::app_recent_some_gone).arg(2));
}

TEST_F(SettingsTest, FrameListsOpenedAndSavedProjectsAndOpensThemFromTheMenu) {
    const QString first = Project("first.kvx"), second = Project("second.kvx");
    auto frame = NewFrame();
    frame->Create();
    frame->OpenAtStart(first.toStdString());
    RunIdle();
    prompts.saveAnswer = QString::fromStdString(dir.Path() + "/saved-as.kvx");
    frame->OnCommand(CmdSaveAs);
    RunIdle();
    EXPECT_EQ(frame->Recent().Paths(), (QStringList{prompts.saveAnswer, first}));

    // Choosing an entry opens it; the list is reordered.
    QSignalSpy opened(&frame->Recent(), &RecentProjects::OpenRequested);
    frame->Recent().Add(second);
    for (QAction* a : frame->Recent().Menu()->actions())
        if (a->data().toString() == first)
            a->trigger();
    RunIdle();
    EXPECT_EQ(frame->View().GetDocument().Path(), first.toStdString());
    EXPECT_EQ(frame->Recent().Paths().first(), first);

    // A vanished entry shows its note in the status bar.
    fs::remove(second.toStdString());
    Q_EMIT frame->Recent().Menu()->aboutToShow();
    const auto labels = frame->Status().findChildren<QLabel*>();
    bool noted = false;
    for (QLabel* label : labels)
        noted = noted || label->text() == Text(text::app_recent_one_gone).arg(QStringLiteral("second.kvx"));
    EXPECT_TRUE(noted);
}

TEST_F(SettingsTest, LayoutAndPaneTogglesComeBackAtTheNextStart) {
    auto first = NewFrame();
    first->RestoreSettings(); // first start: nothing to restore
    first->Create();
    first->resize(900, 640);
    first->OnCommand(CmdToggleTuning);   // on
    first->OnCommand(CmdToggleExplorer); // off
    RunIdle();
    first->TuningPane().setGeometry(QRect(300, 200, 340, 500)); // moved by the user
    RunIdle();
    const QRect tuningPlace = first->TuningPane().geometry();
    const QSize size = first->size();
    EXPECT_TRUE(first->close());
    first.reset();

    auto second = NewFrame();
    EXPECT_TRUE(second->RestoreSettings());
    second->Create();
    RunIdle();
    EXPECT_TRUE(second->ShowingTuning());
    EXPECT_FALSE(second->ShowingExplorer());
    EXPECT_TRUE(second->ShowingInspector());
    EXPECT_EQ(second->size(), size);
    EXPECT_TRUE(second->TuningPane().isVisible());
    EXPECT_EQ(second->TuningPane().geometry(), tuningPlace);
    // The composer was never shown (the first run stayed on the live page):
    // it gets its default place by the frame's right edge.
    second->Tabs().setCurrentIndex(1);
    RunIdle();
    ASSERT_TRUE(second->ComposerPane().isVisible());
    EXPECT_EQ(second->ComposerPane().geometry().left(), second->frameGeometry().right() - 233);

    // A layout saved by another version of the panes is not forced on.
    OpenAppSettings()->setValue(QStringLiteral("window/state"), QByteArray("not a layout"));
    auto third = NewFrame();
    EXPECT_FALSE(third->RestoreSettings());
}

TEST_F(SettingsTest, LanguageFileWinsAndTheMenuChoiceIsTheFallback) {
    const std::string file = dir.Path() + "/lang.txt";
    EXPECT_EQ(StartupLanguageFrom(file), "auto"); // nothing anywhere
    RememberLanguage("pl");
    EXPECT_EQ(StartupLanguageFrom(file), "pl"); // lang.txt gone (a fresh build folder, say)
    std::ofstream(file) << "auto\n";
    EXPECT_EQ(StartupLanguageFrom(file), "auto");
    fs::remove(file);
    RememberLanguage("../../etc"); // the settings file is the user's to edit: checked like lang.txt
    EXPECT_EQ(StartupLanguageFrom(file), "auto");
}

TEST_F(SettingsTest, EachFileDialogStartsWhereItWasLastUsed) {
    EXPECT_EQ(LastFolder(DialogKey("open", QStringLiteral("*.kvx"))), QDir::homePath());
    const std::string projects = dir.Path() + "/projects", pictures = dir.Path() + "/pictures";
    fs::create_directories(projects);
    fs::create_directories(pictures);
    RememberFolder(DialogKey("open", QStringLiteral("*.kvx")), QString::fromStdString(projects + "/a.kvx"));
    RememberFolder(DialogKey("open", QStringLiteral("*.bmp")), QString::fromStdString(pictures + "/b.bmp"));
    EXPECT_EQ(LastFolder(DialogKey("open", QStringLiteral("*.kvx"))), QString::fromStdString(projects));
    EXPECT_EQ(LastFolder(DialogKey("open", QStringLiteral("*.bmp"))), QString::fromStdString(pictures));
    EXPECT_EQ(LastFolder(DialogKey("save", QStringLiteral("*.kvx"))), QDir::homePath());
    // A folder that has gone since sends the dialog home.
    fs::remove_all(pictures);
    EXPECT_EQ(LastFolder(DialogKey("open", QStringLiteral("*.bmp"))), QDir::homePath());
}

} // namespace
} // namespace korvex::test
