#include "app/frame/FrameSettings.h"

#include "app/common/AppSettings.h"
#include "framework/Language.h"

#include <QFileInfo>
#include <QMainWindow>
#include <QSettings>

namespace korvex {

namespace {
// Bumped when the frame's docks change, so an old layout is not applied to
// a frame it no longer fits.
constexpr int LayoutVersion = 1;
} // namespace

void SaveFrameLayout(const QMainWindow& frame, const PaneToggles& toggles, const QStringList& unplaced) {
    auto settings = OpenAppSettings();
    settings->beginGroup(QStringLiteral("window"));
    settings->setValue(QStringLiteral("geometry"), frame.saveGeometry());
    settings->setValue(QStringLiteral("state"), frame.saveState(LayoutVersion));
    settings->setValue(QStringLiteral("showComposer"), toggles.composer);
    settings->setValue(QStringLiteral("showInspector"), toggles.inspector);
    settings->setValue(QStringLiteral("showExplorer"), toggles.explorer);
    settings->setValue(QStringLiteral("showTuning"), toggles.tuning);
    settings->setValue(QStringLiteral("unplacedPanes"), unplaced);
    settings->endGroup();
}

bool RestoreFrameLayout(QMainWindow& frame, PaneToggles& toggles, QStringList& unplaced) {
    auto settings = OpenAppSettings();
    settings->beginGroup(QStringLiteral("window"));
    const QByteArray geometry = settings->value(QStringLiteral("geometry")).toByteArray();
    const QByteArray state = settings->value(QStringLiteral("state")).toByteArray();
    if (geometry.isEmpty() || !frame.restoreGeometry(geometry))
        return false;
    const bool placed = !state.isEmpty() && frame.restoreState(state, LayoutVersion);
    toggles.composer = settings->value(QStringLiteral("showComposer"), toggles.composer).toBool();
    toggles.inspector = settings->value(QStringLiteral("showInspector"), toggles.inspector).toBool();
    toggles.explorer = settings->value(QStringLiteral("showExplorer"), toggles.explorer).toBool();
    toggles.tuning = settings->value(QStringLiteral("showTuning"), toggles.tuning).toBool();
    if (placed)
        unplaced = settings->value(QStringLiteral("unplacedPanes")).toStringList();
    return placed;
}

std::string StartupLanguage() { return StartupLanguageFrom(LanguageFilePath()); }

std::string StartupLanguageFrom(const std::string& languageFile) {
    if (QFileInfo::exists(QString::fromStdString(languageFile)))
        return ReadLanguageFrom(languageFile);
    const std::string remembered = OpenAppSettings()->value(QStringLiteral("language")).toString().toStdString();
    // The same limits as a language read from "lang.txt".
    if (remembered.empty() || remembered.size() >= 16 || remembered.find_first_of(" \t\r\n\v/") != std::string::npos)
        return "auto";
    return remembered;
}

void RememberLanguage(const std::string& name) {
    OpenAppSettings()->setValue(QStringLiteral("language"), QString::fromStdString(name));
}

} // namespace korvex
