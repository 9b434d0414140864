#include "app/sinks/DeviceDialogSinks.h"

#include "app/device/DeviceCommands.h"
#include "app/device/NetworkDialog.h"
#include "app/device/RecordingsDialog.h"
#include "app/sinks/UiPost.h"
#include "devicelink/Connection.h"
#include "devicelink/DeviceTexts.h"

#include <type_traits>

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

void DeviceDialogSinks::Forward(DeviceRequest& request) {
    std::visit(
        [this](auto& r) {
            using T = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<T, ListLevelRequest> ||
                          std::is_same_v<T, DownloadRecordingsRequest> ||
                          std::is_same_v<T, ReadNetworkRequest>)
                r.dialog = this;
            else if constexpr (std::is_same_v<T, DownloadProgramRequest>)
                r.chooser = this;
        },
        request);
}

bool DeviceDialogSinks::Post(DeviceRequest request) {
    const bool anyTime = std::holds_alternative<ConnectDeviceRequest>(request) ||
                         std::holds_alternative<DisconnectRequest>(request) ||
                         std::holds_alternative<ReadNetworkRequest>(request);
    if (Busy() || (!anyTime && !Connected()))
        return false;
    Forward(request);
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

bool DeviceDialogSinks::PostDownloadProgram(const std::string& path) {
    if (Busy() || !Connected())
        return false;
    {
        std::lock_guard<std::mutex> guard(chosenLock);
        chosenPath = path;
    }
    return Post(DownloadProgramRequest{this});
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

// ---- forwarders (called on the session thread)

void DeviceDialogSinks::SetLines(int level, const std::vector<std::string>& lines) {
    ToUi([this, level, lines] {
        if (recordings)
            recordings->SetLines(level, lines);
    });
}

void DeviceDialogSinks::ReplaceLine(int level, size_t index, const std::string& line, bool select) {
    ToUi([this, level, index, line, select] {
        if (recordings)
            recordings->ReplaceLine(level, index, line, select);
    });
}

void DeviceDialogSinks::Listed(const Listing& listing) {
    ToUi([this, listing] {
        if (recordings)
            recordings->Listed(listing);
    });
}

void DeviceDialogSinks::SetAddress(int control, uint32_t address) {
    ToUi([this, control, address] {
        if (network)
            network->SetAddress(control, address);
    });
}

void DeviceDialogSinks::SetText(int control, const std::string& text) {
    ToUi([this, control, text] {
        if (network)
            network->SetText(control, text);
    });
}

void DeviceDialogSinks::SetChecked(int control, bool checked) {
    ToUi([this, control, checked] {
        if (network)
            network->SetChecked(control, checked);
    });
}

void DeviceDialogSinks::Enable(int control, bool enabled) {
    ToUi([this, control, enabled] {
        if (network)
            network->Enable(control, enabled);
    });
}

void DeviceDialogSinks::SetMissing(int control) {
    ToUi([this, control] {
        if (network)
            network->SetMissing(control);
    });
}

void DeviceDialogSinks::Snapshot(const NetworkSnapshot& snapshot) {
    // Read by the dialog's OK once the job is over (the job's end releases it).
    cameraRows.store(snapshot.cameraCount, std::memory_order_release);
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

std::optional<std::string> DeviceDialogSinks::ChooseSaveFile(const SaveFileRequest&) {
    // Asked on the user-interface thread before the job was posted; the
    // session never waits for a dialog.
    std::lock_guard<std::mutex> guard(chosenLock);
    std::optional<std::string> path;
    path.swap(chosenPath);
    return path;
}

} // namespace korvex
