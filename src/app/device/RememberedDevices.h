#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace korvex {

// A device connected to before: enough to connect again, never a password.
struct RememberedDevice {
    QString address; // "%u.%u.%u.%u"
    uint16_t port = 22;
    QString user;
    QString alias;
    QDateTime lastUsed; // UTC
};

// The devices used before, kept in the user's settings
// ($XDG_CONFIG_HOME/korvex/devices.ini), most recently used first, at most
// Limit of them. Devices on another subnet, which announcements do not
// reach, stay one click away.
class RememberedDevices {
public:
    static constexpr int Limit = 50;

    // `file` "" = the user's settings file.
    explicit RememberedDevices(QString file = QString());

    QList<RememberedDevice> All() const;
    std::optional<RememberedDevice> Find(const QString& address, uint16_t port) const;
    // The most recently used entry for an address, any port.
    std::optional<RememberedDevice> FindAddress(const QString& address) const;
    // Adds or refreshes (same address and port); an empty alias keeps the
    // one known before.
    void Remember(const QString& address, uint16_t port, const QString& user, const QString& alias,
                  const QDateTime& when = QDateTime::currentDateTimeUtc());
    void Forget(const QString& address, uint16_t port);
    QString File() const { return file; }

private:
    void Save(const QList<RememberedDevice>& devices) const;
    QString file;
};

} // namespace korvex
