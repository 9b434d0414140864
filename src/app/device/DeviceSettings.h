#pragma once

#include <QSettings>
#include <QString>

namespace korvex {

// Last-used folders of the device windows ($XDG_CONFIG_HOME/korvex/devicewindows.ini).
inline QString LoadDeviceSetting(const QString& key, const QString& fallback = QString()) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("korvex"),
                       QStringLiteral("devicewindows"));
    return settings.value(key, fallback).toString();
}

inline void StoreDeviceSetting(const QString& key, const QString& value) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("korvex"),
                       QStringLiteral("devicewindows"));
    settings.setValue(key, value);
}

} // namespace korvex
