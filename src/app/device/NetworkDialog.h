#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>
#include <string>

class QCheckBox;
class QLineEdit;

namespace korvex {

class DeviceJobs;
class Ipv4Edit;
class Prompter;
struct NetworkSnapshot;
struct WriteNetworkRequest;

// Why a network value is refused before anything is sent (0 = accepted).
enum class NetworkField { DeviceAddress, Netmask, Gateway, Controller, Camera };
unsigned NetworkValueProblem(NetworkField field, uint32_t hostOrder);

// The network settings dialog. Opening it posts the read job (when a job runs,
// text::network_device_busy and the dialog closes); the read's value fills
// and enables the fields (Show). OK checks every value, marks a refused
// field, and posts the write job (network_device_busy keeps it open).
class NetworkDialog : public QDialog {
    Q_OBJECT
public:
    // The fields, found by their object names ("deviceAddress", ...,
    // "camera0Address".."camera3Address", "camera0Channel".., "writeButton").
    enum Control {
        DeviceAddress,
        Netmask,
        Gateway,
        HardwareAddress,
        ControllerUsed,
        Controller,
        CameraAddress0,
        CameraChannel0 = CameraAddress0 + 4,
        PassText = CameraChannel0 + 4,
        WriteButton,
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

    // The read's value (user-interface thread): a value the device holds
    // unreadably is shown empty and marked, and OK refuses until one is
    // entered; the fields the read reached are enabled.
    void Show(const NetworkSnapshot& read);

    void accept() override;
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Ipv4Edit* AddressControl(int id) const;
    void SetAddress(int control, const std::optional<uint32_t>& hostOrder);
    void SetText(int control, const std::string& text);
    void SetMissing(int control);
    void Enable(int control, bool enabled);

    DeviceJobs& jobs;
    Prompter& prompter;
    bool attached = false;
};

} // namespace korvex
