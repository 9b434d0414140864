#pragma once

#include "app/device/RememberedDevices.h"

#include <QDialog>
#include <QList>
#include <cstdint>
#include <string>

class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;

namespace korvex {

class DeviceJobs;
class Ipv4Edit;
class Prompter;
struct ConnectDeviceRequest;

// The connect dialog: device address (1009, preset from the explorer's
// selection), port (1120, 22 unless a remembered device says otherwise),
// user name (1010) and password (1011), both at most 99 characters and not
// preset. OK posts the connect job when no job runs.
class ConnectDialog : public QDialog {
    Q_OBJECT
public:
    // The fields, found by their object names ("deviceAddress", ...).
    enum Control { Address, User, Password, Port, UsedBefore };

    ConnectDialog(DeviceJobs& jobs, Prompter& prompter, QWidget* parent = nullptr);

    // Network byte order (first octet in the lowest byte); 0 leaves it empty.
    void Preset(uint32_t networkAddress, uint16_t port = 22, const std::string& user = "");
    QWidget* Control(int id) const;
    // The devices used before, listed whole (most recent first); choosing
    // one fills in its address, port and user. Hidden when there are none.
    void ShowUsedBefore(const QList<RememberedDevice>& devices);
    // One device's line: user@address[:port] and the alias in brackets.
    static QString UsedBeforeLine(const RememberedDevice& device);
    // What OK would post (valid after a successful check).
    bool Check(ConnectDeviceRequest& request);

    void accept() override;

Q_SIGNALS:
    // The connect job was posted with this address, port and user.
    void Posted(uint32_t networkAddress, uint16_t port, const QString& user);

private:
    DeviceJobs& jobs;
    Prompter& prompter;
    Ipv4Edit* address;
    QSpinBox* port;
    QLineEdit* user;
    QLineEdit* password;
    QLabel* usedBeforeHeading;
    QListWidget* usedBefore;
    QList<RememberedDevice> usedDevices;
};

} // namespace korvex
