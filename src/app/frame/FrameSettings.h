#pragma once

// What the frame remembers between runs: its geometry, where the panes are
// and which of them are switched on, and the chosen language.

#include <string>

class QMainWindow;

namespace korvex {

struct PaneToggles {
    bool composer = true;
    bool inspector = true;
    bool explorer = true;
    bool tuning = false;
};

void SaveFrameLayout(const QMainWindow& frame, const PaneToggles& toggles);
// False on a first start (nothing saved) or when the saved layout does not
// fit this window; `toggles` keeps its values then.
bool RestoreFrameLayout(QMainWindow& frame, PaneToggles& toggles);

// The language to start in: what "lang.txt" says when that file exists,
// otherwise the language last chosen in the menu, otherwise "auto".
std::string StartupLanguage();
std::string StartupLanguageFrom(const std::string& languageFile);
void RememberLanguage(const std::string& name);

} // namespace korvex
