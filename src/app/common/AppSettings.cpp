#include "app/common/AppSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace korvex {

std::unique_ptr<QSettings> OpenAppSettings() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("korvex"),
                                       QStringLiteral("korvex"));
}

QString LastFolder(const QString& dialog) {
    const QString folder = OpenAppSettings()->value(QStringLiteral("fileDialogs/") + dialog).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return QDir::homePath();
    return folder;
}

void RememberFolder(const QString& dialog, const QString& chosenFile) {
    if (chosenFile.isEmpty())
        return;
    OpenAppSettings()->setValue(QStringLiteral("fileDialogs/") + dialog, QFileInfo(chosenFile).absolutePath());
}

QString DialogKey(const char* kind, const QString& pattern) {
    QString name = pattern;
    name.remove(QStringLiteral("*."));
    name.replace(QLatin1Char(';'), QLatin1Char('-'));
    name.remove(QLatin1Char(' '));
    return QString::fromLatin1(kind) + QLatin1Char('-') + (name.isEmpty() ? QStringLiteral("any") : name);
}

} // namespace korvex
