#pragma once

// The device windows' side of the session: DeviceJobs over the Connection,
// and the frame-owned receiver of the session's results and host-key
// questions. The session holds only this receiver, which lives as long as it
// does; a dialog attaches and detaches, and every result is posted to the
// user-interface thread and delivered there only to a dialog that is still
// attached, which fills its widgets from the value. Nothing here ever waits
// for the user-interface thread.

#include "app/device/DeviceCommands.h"
#include "app/device/DeviceJobs.h"
#include "devicelink/DeviceSinks.h"

#include <QObject>
#include <QPointer>
#include <atomic>
#include <optional>

namespace korvex {

class Connection;

class DeviceDialogSinks : public QObject, public DeviceJobs, private HostKeySink, private DeviceResultSink {
    Q_OBJECT
public:
    // The forwarders exist before the session (it is made with their
    // host-key sink); Bind gives them the session to post to.
    explicit DeviceDialogSinks(QObject* parent = nullptr);
    ~DeviceDialogSinks() override;

    void Bind(Connection& session) { connection = &session; }
    HostKeySink& HostKeys() { return *this; }
    // The session's results: the attached dialogs fill themselves from them.
    DeviceResultSink& Results() { return *this; }

    // Where host-key questions go (null: they are dropped).
    void SetCommands(DeviceCommands* commands) { this->commands = commands; }

    // DeviceJobs
    bool Connected() const override;
    bool Busy() const override;
    bool Post(DeviceRequest request) override;
    bool RepostConnect() override;
    std::string UserName() const override;
    bool PasswordIs(const std::string& password) const override;
    uint32_t NetworkCameraRows() const override;
    std::string DeviceAddressText() const override;
    void AttachRecordings(RecordingsDialog* dialog) override;
    void AttachNetwork(NetworkDialog* dialog) override;

private:
    // Session thread -> user-interface thread.
    template <typename F> void ToUi(F f);

    void JobEnded(const DeviceResult& result) override;
    void UnknownKey(const HostKeyQuestion& question) override;
    void ChangedKey(const HostKeyQuestion& question) override;

    Connection* connection = nullptr;
    // Of the requests posted from here (user-interface thread).
    std::optional<ConnectDeviceRequest> lastConnect;
    std::atomic<uint32_t> cameraRows{0}; // of the last network read
    QPointer<RecordingsDialog> recordings;
    QPointer<NetworkDialog> network;
    QPointer<DeviceCommands> commands;
};

} // namespace korvex
