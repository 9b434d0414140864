#pragma once

// What a caller asks of the device session, one value per operation. The
// value is handed to the session thread whole when it is posted; the thread
// takes it over when it starts the job, so nothing the job reads is shared
// with the caller while it runs.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace korvex {

struct ConnectDeviceRequest {
    uint32_t deviceAddress = 0; // network byte order (first octet in the lowest byte)
    uint16_t port = 22;
    std::string userName;
    std::string password;
    std::string knownHostsPath; // "" = the default file
};

struct DisconnectRequest {};

struct ChangePasswordRequest {
    std::string newPassword;
};

struct RestartRequest {};

struct UploadProgramRequest {
    std::vector<uint8_t> payload;
};

// The local file the device's program is written to (asked before the job).
struct DownloadProgramRequest {
    std::string path;
};

// Answered with a NetworkSnapshot.
struct ReadNetworkRequest {};

// The settings written (host order: first octet in the top byte).
struct WriteNetworkRequest {
    uint32_t ipAddress = 0;
    uint32_t netmask = 0;
    uint32_t gateway = 0;
    uint32_t controllerAddress = 0xFFFFFFFFu; // no controller
    uint32_t cameraAddress[8] = {};
    uint32_t cameraChannel[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    std::string passText;
};

// Lists one level of the recordings (0 cameras, 1 days, 2 hours, 3 files)
// below the entries `selected` of the levels above it.
struct ListLevelRequest {
    int level = 0;
    int selected[3] = {-1, -1, -1};
    std::string localFolder; // "" or ending in "/": marks the copies there
};

// Copies the files `files` (indexes into the file listing) of the hour
// `selected` into `localFolder`.
struct DownloadRecordingsRequest {
    int selected[3] = {-1, -1, -1};
    std::vector<int> files;
    std::string localFolder;
};

// A clock check now rather than at its next turn; answered with a
// ClockReport.
struct SyncClockRequest {};

using DeviceRequest =
    std::variant<ConnectDeviceRequest, DisconnectRequest, ChangePasswordRequest, RestartRequest,
                 UploadProgramRequest, DownloadProgramRequest, ReadNetworkRequest, WriteNetworkRequest,
                 ListLevelRequest, DownloadRecordingsRequest, SyncClockRequest>;

// The job code the session runs for `request`.
int32_t JobOf(const DeviceRequest& request);

} // namespace korvex
