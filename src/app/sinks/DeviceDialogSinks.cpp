#include "app/sinks/DeviceDialogSinks.h"

#include "app/device/DeviceCommands.h"
#include "app/device/NetworkDialog.h"
#include "app/device/RecordingsDialog.h"
#include "app/sinks/UiPost.h"
#include "devicelink/Connection.h"
#include "devicelink/DeviceTexts.h"

#include <variant>

namespace korvex {

DeviceDialogSinks::DeviceDialogSinks(QObject* parent) : QObject(parent) {}

DeviceDialogSinks::~DeviceDialogSinks() = default;

template <typename F> void DeviceDialogSinks::ToUi(F f) {
    // The session is stopped before this object goes (the frame owns both);
    // a call still queued then is dropped.
    UiPost(this, [f = std::move(f)](DeviceDialogSinks&) mutable { f(); });
}

// ---- DeviceJobs

bool DeviceDialogSinks::Connected() const {
    return connection && connection->Connected();
}
bool DeviceDialogSinks::Busy() const {
    return !connection || connection->PendingJob() != 0;
}

bool DeviceDialogSinks::Post(DeviceRequest request) {
    const bool anyTime = std::holds_alternative<ConnectDeviceRequest>(request) ||
                         std::holds_alternative<DisconnectRequest>(request) ||
                         std::holds_alternative<ReadNetworkRequest>(request);
    if (Busy() || (!anyTime && !Connected()))
        return false;
    const auto* connect = std::get_if<ConnectDeviceRequest>(&request);
    std::optional<ConnectDeviceRequest> login = connect ? std::optional(*connect) : std::nullopt;
    const auto* change = std::get_if<ChangePasswordRequest>(&request);
    std::optional<std::string> newPassword = change ? std::optional(change->newPassword) : std::nullopt;
    if (!connection->Post(std::move(request)))
        return false;
    if (login)
        lastConnect = std::move(login);
    else if (newPassword && lastConnect)
        lastConnect->password = *newPassword;
    return true;
}

bool DeviceDialogSinks::RepostConnect() {
    return lastConnect && Post(*lastConnect);
}
std::string DeviceDialogSinks::UserName() const {
    return lastConnect ? lastConnect->userName : std::string();
}
bool DeviceDialogSinks::PasswordIs(const std::string& password) const {
    return password == (lastConnect ? lastConnect->password : std::string());
}

uint32_t DeviceDialogSinks::NetworkCameraRows() const {
    return Busy() ? 0 : cameraRows.load(std::memory_order_acquire);
}

std::string DeviceDialogSinks::DeviceAddressText() const {
    return lastConnect && lastConnect->deviceAddress ? NetworkAddressText(lastConnect->deviceAddress)
                                                     : std::string();
}

void DeviceDialogSinks::AttachRecordings(RecordingsDialog* dialog) {
    recordings = dialog;
}
void DeviceDialogSinks::AttachNetwork(NetworkDialog* dialog) {
    network = dialog;
}

// ---- from the session thread

void DeviceDialogSinks::JobEnded(const DeviceResult& result) {
    // Read by the network dialog's OK once the job is over (the job's end
    // releases it).
    if (const auto* read = std::get_if<NetworkSnapshot>(&result.value))
        cameraRows.store(read->cameraCount, std::memory_order_release);
    ToUi([this, result] {
        if (const auto* read = std::get_if<NetworkSnapshot>(&result.value)) {
            if (network)
                network->Show(*read);
        } else if (const auto* listing = std::get_if<Listing>(&result.value)) {
            if (recordings)
                recordings->Show(*listing);
        } else if (const auto* copied = std::get_if<DownloadReport>(&result.value)) {
            if (recordings && copied->selected[0] >= 0)
                recordings->Copied(*copied, result.Ok());
        }
    });
}

void DeviceDialogSinks::UnknownKey(const HostKeyQuestion& question) {
    ToUi([this, question] {
        if (commands)
            commands->UnknownKey(question);
    });
}

void DeviceDialogSinks::ChangedKey(const HostKeyQuestion& question) {
    ToUi([this, question] {
        if (commands)
            commands->ChangedKey(question);
    });
}

} // namespace korvex
