#pragma once

// What the device session gives back for a job: the outcome, and for the
// jobs that read something from the device, what they read as a value.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace korvex {

// The connect job's report on the device it logged in to.
struct VersionInfo {
    std::string userName;
    uint32_t deviceAddress = 0; // network byte order
    std::string version;        // "" when the device's answer named none
    uint32_t cameras = 0;       // of the factory record (0 when unreadable)
};

// The network settings as the read found them (host order addresses). A
// value the device holds unreadably, or a read that failed, is absent.
struct NetworkSnapshot {
    std::optional<uint32_t> ipAddress, netmask, gateway;
    std::optional<std::string> hardwareAddress;
    bool controllerUsed = false;
    std::optional<uint32_t> controller; // while used: absent when unreadable
    uint32_t cameraCount = 0;           // camera rows in use (0..4)
    struct Camera {
        std::optional<uint32_t> address;
        std::optional<uint32_t> channel;
        bool missing = false; // the device's file holds no readable setting
    };
    Camera cameras[4];
    std::optional<std::string> passText;
    std::vector<std::string> failedCommands; // read commands that failed
};

// One level of the recordings (0 cameras, 1 days, 2 hours, 3 files): the
// names on the device and the lines the list shows (copies marked).
struct Listing {
    int level = 0;
    std::vector<std::string> names;
    std::vector<std::string> lines;
};

// The files a download wrote: local paths, in the order written.
struct DownloadReport {
    std::vector<std::string> written;
};

// What an upload (or a restore, which is an upload of a kept program) did.
struct UploadReport {
    // How the program reached the device: beside the old one and renamed
    // over it, or (a folder the login may not create files in) written over
    // the old one in place.
    enum class Path { Sibling, InPlace };
    // The device's program after a copy that failed: never touched, written
    // back from the copy kept before the upload and verified, or neither
    // (the program on the device is damaged).
    enum class Previous { Untouched, Restored, Damaged };

    Path path = Path::Sibling;
    bool installed = false; // the new program is on the device and verified
    Previous previous = Previous::Untouched;
    std::string keptPath;     // the previous program on this computer ("" none kept)
    bool restarted = false;   // the restart command was accepted
    std::string restartError; // the device's words when it was not
};

// What a write of the network settings left on the device, named as the
// settings are ("address, netmask and gateway", "camera 0", "pass text",
// "controller").
struct NetworkWriteReport {
    std::vector<std::string> applied;    // the device holds the new values
    std::vector<std::string> notApplied; // the device still holds its old values
    std::vector<std::string> unknown;    // cut off while being applied: either
    bool restarted = false;
};

enum class Outcome {
    Ok,
    Failed,         // the job failed; `error` says why
    Busy,           // refused: another job was pending
    NotConnected,   // the job needs a session and there was none
    KeyUnconfirmed, // the connect met a device key to ask about
    Stopped,        // the session was stopped before or during the job
};

struct DeviceResult {
    Outcome outcome = Outcome::Ok;
    std::string error;
    std::variant<std::monostate, VersionInfo, NetworkSnapshot, Listing, DownloadReport, UploadReport,
                 NetworkWriteReport>
        value;

    bool Ok() const { return outcome == Outcome::Ok; }
};

// Told of every job's result on the session thread as the job ends (before
// the session takes the next request).
class DeviceResultSink {
public:
    virtual ~DeviceResultSink() = default;
    virtual void JobEnded(int32_t job, const DeviceResult& result) = 0;
};

// Short name of an outcome ("ok", "busy", ...), for traces and messages.
const char* OutcomeName(Outcome outcome);

} // namespace korvex
