#include "app/device/RememberedDevices.h"

#include <QSettings>
#include <algorithm>

namespace korvex {

namespace {
bool ValidAddress(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (const QString& p : parts) {
        bool ok = false;
        if (p.isEmpty() || p.size() > 3 || p.toUInt(&ok) > 255 || !ok)
            return false;
    }
    return true;
}
} // namespace

RememberedDevices::RememberedDevices(QString file) : file(std::move(file)) {
    if (this->file.isEmpty())
        this->file = QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("korvex"),
                               QStringLiteral("devices"))
                         .fileName();
}

QList<RememberedDevice> RememberedDevices::All() const {
    QSettings settings(file, QSettings::IniFormat);
    QList<RememberedDevice> devices;
    const int n = settings.beginReadArray(QStringLiteral("devices"));
    for (int i = 0; i < n; ++i) {
        settings.setArrayIndex(i);
        RememberedDevice d;
        d.address = settings.value(QStringLiteral("address")).toString();
        const uint port = settings.value(QStringLiteral("port"), 22).toUInt();
        d.port = static_cast<uint16_t>(port >= 1 && port <= 65535 ? port : 22);
        d.user = settings.value(QStringLiteral("user")).toString().left(99);
        d.alias = settings.value(QStringLiteral("alias")).toString().left(64);
        d.lastUsed = settings.value(QStringLiteral("lastUsed")).toDateTime();
        // A hand-edited file with a broken line loses that line only.
        if (ValidAddress(d.address))
            devices.push_back(d);
    }
    settings.endArray();
    std::stable_sort(
        devices.begin(), devices.end(),
        [](const RememberedDevice& a, const RememberedDevice& b) { return a.lastUsed > b.lastUsed; });
    return devices;
}

std::optional<RememberedDevice> RememberedDevices::Find(const QString& address, uint16_t port) const {
    for (const RememberedDevice& d : All())
        if (d.address == address && d.port == port)
            return d;
    return std::nullopt;
}

std::optional<RememberedDevice> RememberedDevices::FindAddress(const QString& address) const {
    for (const RememberedDevice& d : All())
        if (d.address == address)
            return d;
    return std::nullopt;
}

void RememberedDevices::Remember(const QString& address, uint16_t port, const QString& user,
                                 const QString& alias, const QDateTime& when) {
    if (!ValidAddress(address))
        return;
    QList<RememberedDevice> devices = All();
    RememberedDevice entry{address, port, user.left(99), alias.left(64), when};
    for (auto it = devices.begin(); it != devices.end(); ++it) {
        if (it->address == address && it->port == port) {
            if (entry.alias.isEmpty())
                entry.alias = it->alias;
            devices.erase(it);
            break;
        }
    }
    devices.push_front(entry);
    while (devices.size() > Limit)
        devices.pop_back();
    Save(devices);
}

void RememberedDevices::Forget(const QString& address, uint16_t port) {
    QList<RememberedDevice> devices = All();
    devices.erase(
        std::remove_if(devices.begin(), devices.end(),
                       [&](const RememberedDevice& d) { return d.address == address && d.port == port; }),
        devices.end());
    Save(devices);
}

void RememberedDevices::Save(const QList<RememberedDevice>& devices) const {
    QSettings settings(file, QSettings::IniFormat);
    settings.remove(QStringLiteral("devices"));
    settings.beginWriteArray(QStringLiteral("devices"), static_cast<int>(devices.size()));
    for (int i = 0; i < devices.size(); ++i) {
        settings.setArrayIndex(i);
        const RememberedDevice& d = devices[i];
        settings.setValue(QStringLiteral("address"), d.address);
        settings.setValue(QStringLiteral("port"), d.port);
        settings.setValue(QStringLiteral("user"), d.user);
        settings.setValue(QStringLiteral("alias"), d.alias);
        settings.setValue(QStringLiteral("lastUsed"), d.lastUsed);
    }
    settings.endArray();
    settings.sync();
}

} // namespace korvex
