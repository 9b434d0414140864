#pragma once

// What the frame remembers between runs: its geometry, where the panes are
// and which of them are switched on, and the chosen language.

#include <QStringList>
#include <string>

class QMainWindow;

namespace korvex {

struct PaneToggles {
    bool composer = true;
    bool inspector = true;
    bool explorer = true;
    bool tuning = false;
};

// `unplaced` names the panes (object names) never shown in this run, whose
// saved geometry is no place the user chose.
void SaveFrameLayout(const QMainWindow& frame, const PaneToggles& toggles, const QStringList& unplaced);
// False on a first start (nothing saved) or when the saved layout does not
// fit this window; `toggles` and `unplaced` keep their values then.
bool RestoreFrameLayout(QMainWindow& frame, PaneToggles& toggles, QStringList& unplaced);

// The language to start in: what "lang.txt" says when that file exists,
// otherwise the language last chosen in the menu, otherwise "auto".
std::string StartupLanguage();
std::string StartupLanguageFrom(const std::string& languageFile);
void RememberLanguage(const std::string& name);

} // namespace korvex
