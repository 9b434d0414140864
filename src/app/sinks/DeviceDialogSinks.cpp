#include "app/sinks/DeviceDialogSinks.h"

#include "app/device/DeviceCommands.h"
#include "app/device/NetworkDialog.h"
#include "app/device/RecordingsDialog.h"
#include "app/sinks/UiPost.h"
#include "devicelink/Connection.h"
#include "devicelink/DeviceTexts.h"

namespace korvex {

DeviceDialogSinks::DeviceDialogSinks(Connection& connection, QObject* parent)
    : QObject(parent), connection(connection) {
    connection.recordingsDialog = this;
    connection.networkDialog = this;
    connection.hostKeys = this;
    connection.fileChooser = this;
}

DeviceDialogSinks::~DeviceDialogSinks() = default;

template <typename F> void DeviceDialogSinks::Post(F f) {
    // The session is stopped before this object goes (the frame owns both);
    // a call still queued then is dropped.
    UiPost(this, [f = std::move(f)](DeviceDialogSinks&) mutable { f(); });
}

// ---- DeviceJobs

bool DeviceDialogSinks::Connected() const {
    return connection.Connected();
}
bool DeviceDialogSinks::Busy() const {
    return connection.PendingJob() != 0;
}

bool DeviceDialogSinks::PostConnect(const ConnectRequest& r) {
    if (Busy())
        return false;
    connection.deviceAddress = r.networkAddress;
    connection.port = r.port;
    connection.userName = r.userName;
    connection.password = r.password;
    return connection.Post(JobConnect);
}

bool DeviceDialogSinks::RepostConnect() {
    return !Busy() && connection.Post(JobConnect);
}
bool DeviceDialogSinks::PostDisconnect() {
    return !Busy() && connection.Post(JobDisconnect);
}
std::string DeviceDialogSinks::UserName() const {
    return connection.userName;
}
bool DeviceDialogSinks::PasswordIs(const std::string& password) const {
    return password == connection.password;
}

bool DeviceDialogSinks::PostChangePassword(const std::string& newPassword) {
    if (Busy() || !Connected())
        return false;
    connection.password = newPassword;
    return connection.Post(JobChangePassword);
}

bool DeviceDialogSinks::PostRecordings(int job, const RecordingsRequest& r) {
    if (Busy() || !Connected() ||
        !(job == JobDownloadRecordings || (job >= JobListFiles && job <= JobListCameras)))
        return false;
    connection.localFolder = r.localFolder;
    for (int i = 0; i < 3; ++i)
        connection.selectedLevel[i] = r.selected[i];
    connection.selectedFiles = r.files;
    return connection.Post(job);
}

bool DeviceDialogSinks::PostReadNetwork() {
    return !Busy() && connection.Post(JobReadNetwork);
}

uint32_t DeviceDialogSinks::NetworkCameraRows() const {
    return Busy() ? 0 : connection.cameraCount;
}

bool DeviceDialogSinks::PostWriteNetwork(const NetworkRequest& r) {
    if (Busy() || !Connected())
        return false;
    connection.ipAddress = r.ipAddress;
    connection.netmask = r.netmask;
    connection.gateway = r.gateway;
    connection.controllerAddress = r.controllerAddress;
    for (int i = 0; i < 4; ++i) {
        connection.cameraAddress[i] = r.cameraAddress[i];
        connection.cameraChannel[i] = r.cameraChannel[i];
    }
    connection.passText = r.passText;
    return connection.Post(JobWriteNetwork);
}

bool DeviceDialogSinks::PostRestart() {
    return !Busy() && Connected() && connection.Post(JobRestart);
}

bool DeviceDialogSinks::PostDownloadProgram(const std::string& path) {
    if (Busy() || !Connected())
        return false;
    {
        std::lock_guard<std::mutex> guard(chosenLock);
        chosenPath = path;
    }
    return connection.Post(JobDownloadProgram);
}

bool DeviceDialogSinks::PostUpload(std::vector<uint8_t> bytes) {
    if (Busy() || !Connected())
        return false;
    connection.uploadPayload = std::move(bytes);
    return connection.Post(JobUploadProgram);
}

std::string DeviceDialogSinks::DeviceAddressText() const {
    return connection.deviceAddress ? NetworkAddressText(connection.deviceAddress) : std::string();
}

void DeviceDialogSinks::AttachRecordings(RecordingsDialog* dialog) {
    recordings = dialog;
}
void DeviceDialogSinks::AttachNetwork(NetworkDialog* dialog) {
    network = dialog;
}

// ---- forwarders (called on the session thread)

void DeviceDialogSinks::SetLines(int level, const std::vector<std::string>& lines) {
    Post([this, level, lines] {
        if (recordings)
            recordings->SetLines(level, lines);
    });
}

void DeviceDialogSinks::ReplaceLine(int level, size_t index, const std::string& line, bool select) {
    Post([this, level, index, line, select] {
        if (recordings)
            recordings->ReplaceLine(level, index, line, select);
    });
}

void DeviceDialogSinks::SetAddress(int control, uint32_t address) {
    Post([this, control, address] {
        if (network)
            network->SetAddress(control, address);
    });
}

void DeviceDialogSinks::SetText(int control, const std::string& text) {
    Post([this, control, text] {
        if (network)
            network->SetText(control, text);
    });
}

void DeviceDialogSinks::SetChecked(int control, bool checked) {
    Post([this, control, checked] {
        if (network)
            network->SetChecked(control, checked);
    });
}

void DeviceDialogSinks::Enable(int control, bool enabled) {
    Post([this, control, enabled] {
        if (network)
            network->Enable(control, enabled);
    });
}

void DeviceDialogSinks::SetMissing(int control) {
    Post([this, control] {
        if (network)
            network->SetMissing(control);
    });
}

void DeviceDialogSinks::UnknownKey(const HostKeyQuestion& question) {
    Post([this, question] {
        if (commands)
            commands->UnknownKey(question);
    });
}

void DeviceDialogSinks::ChangedKey(const HostKeyQuestion& question) {
    Post([this, question] {
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
