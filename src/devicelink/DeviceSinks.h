#pragma once

// The ways the device-link workers report as they go. The session thread
// ("Connection") and the discovery thread ("Scan") never touch a widget:
// they call these interfaces, which the GUI implements by posting to its own
// thread, and the command-line tool and the tests implement directly. What a
// job read comes back as a value (DeviceResults.h), not through these.
//
// Every call comes from a worker thread. An implementation must not block on
// the user-interface thread while that thread may be waiting for the worker
// (the workers are stopped from the user-interface thread at exit).

#include "devicelink/DeviceResults.h"

#include <cstddef>
#include <cstdint>
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

    // The `textId` of ShowProgress that leaves the status text as it is.
    static constexpr unsigned kKeepText = 0;

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
