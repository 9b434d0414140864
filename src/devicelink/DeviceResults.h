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

// The status text of a connect: "Connected as USER@ADDR; Firmware
// version: V; Cameras: N" (the version part only when there is one).
std::string VersionText(const VersionInfo& info);

// The network settings as the read found them (host order addresses). A
// value the device holds unreadably, or a read that failed, is absent. The
// network dialog fills its fields from it, korvex-cli prints it.
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
        bool fetched = false; // the device gave its file
    };
    Camera cameras[4];
    // Camera 0 has an address: the camera rows and the pass text may be
    // changed (the dialog enables them).
    bool camerasEditable = false;
    std::optional<std::string> passText;
    std::vector<std::string> failedCommands; // read commands that failed

    // Some read commands failed: the settings they give are absent.
    bool Partial() const { return !failedCommands.empty(); }
};

// The status text naming the read commands of a partial read.
std::string FailedReadsText(const std::vector<std::string>& failedCommands);

// One level of the recordings (0 cameras, 1 days, 2 hours, 3 files): the
// names on the device and the lines the list shows (copies marked).
struct Listing {
    int level = 0;
    std::vector<std::string> names;
    std::vector<std::string> lines;
};

// The files a download wrote: local paths, in the order written. A
// recordings download also names the hour it copied from (the selections
// of levels 0..2) and the indexes of the files it copied, in the order
// written; a program download leaves them at -1 and empty.
struct DownloadReport {
    std::vector<std::string> written;
    int selected[3] = {-1, -1, -1};
    std::vector<int> files;
};

// What a clock check did: the device's clock was more than 10 s off and has
// been set, or it was in step and left alone.
struct ClockReport {
    bool set = false;
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

using DeviceValue = std::variant<std::monostate, VersionInfo, NetworkSnapshot, Listing, DownloadReport,
                                 UploadReport, NetworkWriteReport, ClockReport>;

// The one answer of a job: its outcome, what it read or did as a value, and
// the status text it ended with (what korvex-cli prints for the jobs that
// read nothing).
struct DeviceResult {
    Outcome outcome = Outcome::Ok;
    std::string error;
    DeviceValue value;
    std::string status;

    bool Ok() const { return outcome == Outcome::Ok; }
};

// Told of every job's result on the session thread as the job ends (before
// the session takes the next request).
class DeviceResultSink {
public:
    virtual ~DeviceResultSink() = default;
    virtual void JobEnded(const DeviceResult& result) = 0;
};

// Short name of an outcome ("ok", "busy", ...), for traces and messages.
const char* OutcomeName(Outcome outcome);

} // namespace korvex
