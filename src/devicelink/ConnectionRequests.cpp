// Typed requests: posted with their job code, taken over by the session
// thread when the job starts.

#include "devicelink/Connection.h"

#include <algorithm>
#include <iterator>
#include <type_traits>

namespace korvex {

int32_t JobOf(const DeviceRequest& request) {
    if (const auto* list = std::get_if<ListLevelRequest>(&request))
        return list->level >= 0 && list->level <= 3 ? JobListCameras - list->level : JobNone;
    static constexpr int32_t codes[] = {
        JobConnect,         JobDisconnect,  JobChangePassword, JobRestart, JobUploadProgram,
        JobDownloadProgram, JobReadNetwork, JobWriteNetwork,   JobNone,    JobDownloadRecordings};
    static_assert(std::size(codes) == std::variant_size_v<DeviceRequest>);
    return codes[request.index()];
}

bool Connection::Post(DeviceRequest request) {
    const int32_t code = JobOf(request);
    if (code == JobNone)
        return false;
    std::lock_guard<std::mutex> guard(mailboxLock);
    if (job.load(std::memory_order_acquire) != 0)
        return false;
    mailbox = std::move(request);
    int32_t idle = 0;
    if (job.compare_exchange_strong(idle, code, std::memory_order_release, std::memory_order_relaxed))
        return true;
    mailbox.reset(); // a job code posted in between keeps its place
    return false;
}

// Session thread: the posted request's values become the job's.
void Connection::TakeRequest() {
    std::optional<DeviceRequest> request;
    {
        std::lock_guard<std::mutex> guard(mailboxLock);
        request.swap(mailbox);
    }
    if (request)
        Apply(*request);
}

void Connection::Apply(DeviceRequest& request) {
    std::visit(
        [this](auto& r) {
            using T = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<T, ConnectDeviceRequest>) {
                deviceAddress = r.deviceAddress;
                port = r.port;
                userName = std::move(r.userName);
                password = std::move(r.password);
                knownHostsPath = std::move(r.knownHostsPath);
            } else if constexpr (std::is_same_v<T, ChangePasswordRequest>) {
                password = std::move(r.newPassword);
            } else if constexpr (std::is_same_v<T, UploadProgramRequest>) {
                uploadPayload = std::move(r.payload);
            } else if constexpr (std::is_same_v<T, DownloadProgramRequest>) {
                fileChooser = r.chooser;
                requestSinks = true;
            } else if constexpr (std::is_same_v<T, ReadNetworkRequest>) {
                networkDialog = r.dialog;
                requestSinks = true;
            } else if constexpr (std::is_same_v<T, WriteNetworkRequest>) {
                ipAddress = r.ipAddress;
                netmask = r.netmask;
                gateway = r.gateway;
                controllerAddress = r.controllerAddress;
                std::copy(std::begin(r.cameraAddress), std::end(r.cameraAddress), cameraAddress);
                std::copy(std::begin(r.cameraChannel), std::end(r.cameraChannel), cameraChannel);
                passText = std::move(r.passText);
            } else if constexpr (std::is_same_v<T, ListLevelRequest>) {
                std::copy(std::begin(r.selected), std::end(r.selected), selectedLevel);
                localFolder = std::move(r.localFolder);
                recordingsDialog = r.dialog;
                requestSinks = true;
            } else if constexpr (std::is_same_v<T, DownloadRecordingsRequest>) {
                std::copy(std::begin(r.selected), std::end(r.selected), selectedLevel);
                selectedFiles = std::move(r.files);
                localFolder = std::move(r.localFolder);
                recordingsDialog = r.dialog;
                requestSinks = true;
            }
        },
        request);
}

// Session thread, after the job: sinks that came with its request belong to
// the caller and are not used again.
void Connection::DropRequestSinks() {
    if (!requestSinks)
        return;
    requestSinks = false;
    fileChooser = nullptr;
    networkDialog = nullptr;
    recordingsDialog = nullptr;
}

} // namespace korvex
