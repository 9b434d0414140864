#pragma once

// The device windows' side of the session: DeviceJobs over the Connection,
// and frame-owned forwarders for the session's dialog sinks. The session
// holds only the forwarders, which live as long as it does; a dialog
// attaches and detaches, and every call from the session thread is posted
// to the user-interface thread and delivered there only to a dialog that is
// still attached. Nothing here ever waits for the user-interface thread.

#include "app/device/DeviceCommands.h"
#include "app/device/DeviceJobs.h"
#include "devicelink/DeviceSinks.h"

#include <QObject>
#include <QPointer>
#include <atomic>
#include <mutex>
#include <optional>

namespace korvex {

class Connection;

class DeviceDialogSinks : public QObject,
                          public DeviceJobs,
                          private RecordingsSink,
                          private NetworkSettingsSink,
                          private HostKeySink,
                          private FileChooser {
    Q_OBJECT
public:
    // The forwarders exist before the session (it is made with their
    // host-key sink); Bind gives them the session to post to.
    explicit DeviceDialogSinks(QObject* parent = nullptr);
    ~DeviceDialogSinks() override;

    void Bind(Connection& session) { connection = &session; }
    HostKeySink& HostKeys() { return *this; }

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
    bool PostDownloadProgram(const std::string& path) override;
    std::string DeviceAddressText() const override;
    void AttachRecordings(RecordingsDialog* dialog) override;
    void AttachNetwork(NetworkDialog* dialog) override;

private:
    // Session thread -> user-interface thread.
    template <typename F> void ToUi(F f);

    void SetLines(int level, const std::vector<std::string>& lines) override;
    void ReplaceLine(int level, size_t index, const std::string& line, bool select) override;
    void Listed(const Listing& listing) override;
    void SetAddress(int control, uint32_t hostOrderAddress) override;
    void SetText(int control, const std::string& text) override;
    void SetChecked(int control, bool checked) override;
    void Enable(int control, bool enabled) override;
    void SetMissing(int control) override;
    void Snapshot(const NetworkSnapshot& snapshot) override;
    void UnknownKey(const HostKeyQuestion& question) override;
    void ChangedKey(const HostKeyQuestion& question) override;
    std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) override;

    // The request's sinks become these forwarders.
    void Forward(DeviceRequest& request);

    Connection* connection = nullptr;
    // Of the requests posted from here (user-interface thread).
    std::optional<ConnectDeviceRequest> lastConnect;
    std::atomic<uint32_t> cameraRows{0}; // of the last network read
    QPointer<RecordingsDialog> recordings;
    QPointer<NetworkDialog> network;
    QPointer<DeviceCommands> commands;
    std::mutex chosenLock;
    std::optional<std::string> chosenPath; // the path JobDownloadProgram writes to
};

} // namespace korvex
