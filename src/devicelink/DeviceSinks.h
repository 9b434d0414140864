#pragma once

// The ways the device-link workers reach the user interface. The session
// thread ("Connection") and the discovery thread ("Scan") never touch a
// widget: they call these interfaces, which the GUI implements by posting to
// its own thread, and the command-line tool and the tests implement directly.
//
// Every call comes from a worker thread. An implementation must not block on
// the user-interface thread while that thread may be waiting for the worker
// (the workers are stopped from the user-interface thread at exit); the one
// call that has to wait for an answer is FileChooser::ChooseSaveFile.

#include "devicelink/DeviceResults.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvex {

// How far a device restart (a restart, an upload or a network write) has
// come: the restart command is on its way, the session waits for the
// device to answer again, it has logged in again, or it could not (the
// session is closed then). NotRestarted: the restart command failed and the
// device stays as it was.
enum class RestartStage { Restarting, Waiting, ConnectedAgain, Failed, NotRestarted };

// The status bar: a text and a progress bar.
class StatusSink {
public:
    virtual ~StatusSink() = default;

    // Sets the progress bar to `percent` (0..100) and shows it; when
    // `textId` is not 0 the status text becomes string-table text `textId`.
    virtual void ShowProgress(unsigned percent, unsigned textId) = 0;

    // Hides the progress bar; the status text becomes string `textId`.
    virtual void ShowMessage(unsigned textId) = 0;

    // Hides the progress bar; the status text becomes `text`.
    virtual void ShowText(const std::string& text) = 0;

    // A job ended with this error: shown in an error message box without an
    // owner window or caption of its own.
    virtual void ShowError(const std::string& text) = 0;

    // A device restart moved on (the status text has been set already);
    // `detail` says why a reconnection failed.
    virtual void ShowRestart(RestartStage stage, const std::string& detail) {
        (void)stage;
        (void)detail;
    }
};

// The list boxes of the recordings dialog. Levels: 0 = camera folders
// (list 1090), 1 = level-2 folders (1015), 2 = hour folders (1091),
// 3 = recording files (1012, multiple selection).
class RecordingsSink {
public:
    virtual ~RecordingsSink() = default;

    // Replaces the whole content of a level's list (an empty vector clears it).
    virtual void SetLines(int level, const std::vector<std::string>& lines) = 0;

    // Replaces one line at the same position; `select` keeps/sets it selected.
    virtual void ReplaceLine(int level, size_t index, const std::string& line, bool select) = 0;

    // The listing a job has just shown, as a value (after its SetLines).
    virtual void Listed(const Listing& listing) { (void)listing; }
};

// The controls of the network settings dialog, by control number.
class NetworkSettingsSink {
public:
    enum Control : int {
        DeviceAddress = 1009,   // IPv4 address control
        Netmask = 1046,         // IPv4 address control
        Gateway = 1045,         // IPv4 address control
        HardwareAddress = 1047, // edit, shown only
        ControllerUsed = 1097,  // check box
        Controller = 1098,      // IPv4 address control
        CameraAddress0 = 1074,  // 1074..1077: IPv4 address controls, camera 0..3
        CameraChannel0 = 1082,  // 1082..1085: edits (unsigned number), camera 0..3
        PassText = 1011,        // edit
    };

    virtual ~NetworkSettingsSink() = default;

    // Puts a host-order address (first octet in the top byte) into an IPv4
    // address control.
    virtual void SetAddress(int control, uint32_t hostOrderAddress) = 0;
    // Sets the text of an edit (hardware address, channel number, pass text).
    virtual void SetText(int control, const std::string& text) = 0;
    virtual void SetChecked(int control, bool checked) = 0;
    virtual void Enable(int control, bool enabled) = 0;
    // The device holds no readable value for an address control (a key
    // missing from its settings, an address text that is no address): the
    // control is shown empty and marked missing, and its value is not
    // written back until the user has entered one.
    virtual void SetMissing(int control) { (void)control; }

    // Everything the read has shown, as one value (after the control calls).
    virtual void Snapshot(const NetworkSnapshot& snapshot) { (void)snapshot; }
};

// What the program download asks of the platform's save-file dialog.
struct SaveFileRequest {
    std::string filterDescription; // e.g. text::filter_project_files
    std::string pattern;           // "*.kvx"
    std::string initialName;       // e.g. text::program_default_file_name
    std::string initialFolder;     // "" = the platform's default folder
    std::string defaultExtension;  // "kvx"
};

// The save-file dialog (asks before overwriting).
class FileChooser {
public:
    virtual ~FileChooser() = default;

    // Returns the chosen path, or nothing when the user cancelled. Called on
    // the session thread; waits for the user's answer.
    virtual std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) = 0;
};

// The explorer's device list box and caption. Called while the list's lock is
// held: an implementation must not call back into the DeviceList.
class DeviceListSink {
public:
    virtual ~DeviceListSink() = default;

    // A new line at the end (index = entry index, the placeholder being 0);
    // `caption` is the pane's new caption.
    virtual void LineAdded(size_t index, const std::string& line, const std::string& caption) = 0;

    // The line of an existing entry changed (its alias changed).
    virtual void LineChanged(size_t index, const std::string& line) = 0;

    // The entry at `index` was removed (it gave way to a newer sender in a
    // full list); the lines after it move up by one.
    virtual void LineRemoved(size_t index, const std::string& caption) = 0;
};

// A device key the known-hosts file does not vouch for, as the connect job
// met it. The job has ended without logging in (nothing of the credentials
// was sent); the window asks the user and, when told to, records the key or
// removes the old one (KnownHosts.h) and posts the connect job again.
struct HostKeyQuestion {
    std::string host; // "%u.%u.%u.%u"
    uint16_t port = 22;
    std::string knownHostsPath;      // the file that was consulted
    std::string keyType;             // "ssh-ed25519", ...
    std::string fingerprint;         // "SHA256:..." of the offered key
    std::string recordedFingerprint; // ChangedKey: of the key on record
    std::string keyBlob;             // the offered key, wire format
};

class HostKeySink {
public:
    virtual ~HostKeySink() = default;
    // First contact: no key is recorded for this host and port.
    virtual void UnknownKey(const HostKeyQuestion& question) = 0;
    // The device offers another key than the one on record: refused.
    virtual void ChangedKey(const HostKeyQuestion& question) = 0;
};

} // namespace korvex
