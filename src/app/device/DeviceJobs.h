#pragma once

// What the device windows ask of the device session. The windows never see
// the session thread: the frame hands them this interface, whose
// implementation (sinks/) fills the session's request fields and posts the
// job, only while no job is pending.

#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

class RecordingsDialog;
class NetworkDialog;

struct ConnectRequest {
    uint32_t networkAddress = 0; // first octet in the lowest byte
    uint16_t port = 22;
    std::string userName;
    std::string password;
};

struct RecordingsRequest {
    std::string localFolder;        // "" or ending in "/" or "\"
    int selected[3] = {-1, -1, -1}; // rows of lists 1090, 1015, 1091
    std::vector<int> files;         // selected rows of list 1012
};

struct NetworkRequest {
    uint32_t ipAddress = 0, netmask = 0, gateway = 0; // host order
    uint32_t controllerAddress = 0xFFFFFFFFu;         // none
    uint32_t cameraAddress[4] = {};
    uint32_t cameraChannel[4] = {1, 1, 1, 1};
    std::string passText;
};

class DeviceJobs {
public:
    virtual ~DeviceJobs() = default;

    virtual bool Connected() const = 0;
    virtual bool Busy() const = 0; // a job is pending

    // Each returns false (nothing changed) while a job is pending.
    virtual bool PostConnect(const ConnectRequest& request) = 0;
    // The connect job again with the request of the last one (after the
    // user has confirmed or removed a device key).
    virtual bool RepostConnect() = 0;
    virtual bool PostDisconnect() = 0;
    virtual std::string UserName() const = 0;
    virtual bool PasswordIs(const std::string& password) const = 0;
    virtual bool PostChangePassword(const std::string& newPassword) = 0;
    virtual bool PostRecordings(int job, const RecordingsRequest& request) = 0;
    virtual bool PostReadNetwork() = 0;
    // Camera rows the last read found in use (0..4); valid while idle.
    virtual uint32_t NetworkCameraRows() const = 0;
    virtual bool PostWriteNetwork(const NetworkRequest& request) = 0;
    virtual bool PostRestart() = 0;
    // The path is asked before the job; the session writes the program there.
    virtual bool PostDownloadProgram(const std::string& path) = 0;
    virtual bool PostUpload(std::vector<uint8_t> bytes) = 0;
    // "%u.%u.%u.%u" of the device of the session ("" before any connect).
    virtual std::string DeviceAddressText() const = 0;

    // The open dialog the session's list and control updates reach; a
    // dialog detaches before it goes away (null detaches).
    virtual void AttachRecordings(RecordingsDialog* dialog) = 0;
    virtual void AttachNetwork(NetworkDialog* dialog) = 0;
};

} // namespace korvex
