#pragma once

// The window's settings that outlive a run (QSettings, INI format):
// $XDG_CONFIG_HOME/korvex/korvex.ini, ~/.config/korvex/korvex.ini when unset.
// Only the user-interface thread uses them.

#include <QString>
#include <memory>

class QSettings;

namespace korvex {

std::unique_ptr<QSettings> OpenAppSettings();

// The folder each file dialog showed last; `dialog` names the dialog
// ("open-kvx", "save-kvx", "open-bmp", ...). Home when none is known or the
// folder has gone.
QString LastFolder(const QString& dialog);
// Remembers the folder of a file chosen in `dialog`.
void RememberFolder(const QString& dialog, const QString& chosenFile);

// The name a file dialog is remembered under: its kind and its pattern
// ("open" and "*.kvx" give "open-kvx").
QString DialogKey(const char* kind, const QString& pattern);

} // namespace korvex
