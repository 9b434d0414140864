#pragma once

#include "app/device/RememberedDevices.h"
#include "devicelink/DeviceSinks.h"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <string>

class QTimer;
class QWidget;

namespace korvex {

class DeviceJobs;
class Prompter;

// The Device menu's windows: connect (with the host-key questions that can
// follow), change password, network settings, recordings, program download
// and restore. Every dialog is modal for the user but shown without a
// nested event loop, so nothing ever waits for a dialog while a worker
// waits for the user-interface thread.
class DeviceCommands : public QObject {
    Q_OBJECT
public:
    DeviceCommands(QWidget& owner, Prompter& prompter, DeviceJobs& jobs, RememberedDevices& remembered,
                   std::string historyRoot = "");

    // Opens the connect dialog, preset with `networkAddress` (0 = empty) and
    // what is remembered of that device.
    // `port` 0: the most recently used entry of that address, any port.
    void Connect(uint32_t networkAddress, uint16_t port = 0);
    void ChangePassword();
    void NetworkSettings();
    void Recordings();
    // Asks where to save (on this thread), then posts the download.
    void DownloadProgram();
    // The newest kept program of the connected device, uploaded back after
    // a confirmation (the session keeps the program it replaces).
    void RestoreProgram();

    // From the session's host-key sink (on this thread).
    void UnknownKey(const HostKeyQuestion& question);
    void ChangedKey(const HostKeyQuestion& question);

    // The dialog shown now (null when none).
    QDialog* ActiveDialog() const { return active; }

    // The alias the network announces for an address ("" when unknown).
    std::function<QString(const QString& address)> aliasOf;
    // The save-file dialog (tests answer it): title, filter, initial path.
    std::function<QString(QWidget*, const QString&, const QString&, const QString&)> askSaveFile;

Q_SIGNALS:
    // A connect posted from the dialog ended connected (and was remembered).
    void Connected(const QString& address, uint16_t port);

private:
    void Show(QDialog* dialog);
    void WatchConnect();
    // Runs `edit` on the known-hosts file; when it succeeds, posts the
    // connect that stopped at the key question again. A failure is shown.
    void EditKeysAndReconnect(const std::function<void()>& edit);

    QWidget& owner;
    Prompter& prompter;
    DeviceJobs& jobs;
    RememberedDevices& remembered;
    std::string historyRoot;
    QPointer<QDialog> active;
    QTimer* connectWatch;
    QString pendingAddress;
    uint16_t pendingPort = 22;
    QString pendingUser;
};

} // namespace korvex
