#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

class QCheckBox;
class QLineEdit;

namespace korvex {

class DeviceJobs;
class Ipv4Edit;
class Prompter;
struct WriteNetworkRequest;

// Why a network value is refused before anything is sent (0 = accepted).
enum class NetworkField { DeviceAddress, Netmask, Gateway, Controller, Camera };
unsigned NetworkValueProblem(NetworkField field, uint32_t hostOrder);

// The network settings dialog. Opening it posts the read job (when a job runs,
// text::network_device_busy and the dialog closes); the session fills and enables the
// controls through SetAddress/SetText/SetChecked/Enable. OK checks every
// value, marks a refused field, and posts the write job (network_device_busy keeps it open).
class NetworkDialog : public QDialog {
    Q_OBJECT
public:
    enum Control {
        DeviceAddress = 1009,
        Netmask = 1046,
        Gateway = 1045,
        HardwareAddress = 1047,
        ControllerUsed = 1097,
        Controller = 1098,
        CameraAddress0 = 1074,
        CameraChannel0 = 1082,
        PassText = 1011,
    };

    NetworkDialog(DeviceJobs& jobs, Prompter& prompter, QWidget* parent = nullptr);
    ~NetworkDialog() override;

    // Attaches to the session and posts the read; false when the dialog
    // had to close at once (a job was running).
    bool Start();
    QWidget* Control(int id) const;
    // Builds the request from the controls; false (field marked, reason
    // shown) when a value is refused.
    bool Check(WriteNetworkRequest& request);

    // Updates from the session (user-interface thread).
    void SetAddress(int control, uint32_t hostOrder);
    void SetText(int control, const std::string& text);
    void SetChecked(int control, bool checked);
    void Enable(int control, bool enabled);
    // The device holds no readable value for this address control: shown
    // empty and marked; OK refuses until a value is entered.
    void SetMissing(int control);

    void accept() override;
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Ipv4Edit* AddressControl(int id) const;

    DeviceJobs& jobs;
    Prompter& prompter;
    bool attached = false;
};

} // namespace korvex
