#pragma once

// Trust on first use of device host keys, in an OpenSSH known_hosts file.

#include <cstddef>
#include <cstdint>
#include <string>

typedef struct _LIBSSH2_SESSION LIBSSH2_SESSION;

namespace korvex {

// What a known-hosts path names: a regular file (or nothing yet), which is
// read and rewritten, or /dev/null, which as for OpenSSH means that no key
// is known and none is recorded, so every key is new.
enum class KnownHostsFile { Regular, Null };

// The kind of the file at `path`; any other special file (a FIFO, a
// device, a folder) raises text::link_known_hosts_not_file naming it. Never blocks.
KnownHostsFile KnownHostsFileKind(const std::string& path);

// $XDG_CONFIG_HOME/korvex/known_hosts, or ~/.config/korvex/known_hosts.
std::string DefaultKnownHostsPath();

// "SHA256:" and the unpadded base64 of the SHA-256 of a key blob (the form
// OpenSSH shows).
std::string KeyFingerprint(const unsigned char* blob, size_t size);

// The name a host is recorded under: "host" on port 22, "[host]:port" else.
std::string KnownHostName(const std::string& host, uint16_t port);

struct HostKeyVerdict {
    bool recorded = false;   // the key was new and has been recorded
    std::string fingerprint; // of the key the device offered
};

// Checks the key the device offered in `session` (after the handshake)
// against the file at `path`. A key never seen for this host is recorded
// (the file is rewritten whole and atomically, lines it holds are kept). A
// key that differs from the recorded one, also a key of another type than
// the recorded one, raises an error naming both fingerprints. A file that
// cannot be written raises its file error; nothing is sent to the device
// in any of these cases.
HostKeyVerdict CheckHostKey(LIBSSH2_SESSION* session, const std::string& path, const std::string& host,
                            uint16_t port);

// What the file says about the key a device offered, without changing the
// file: for a window that asks the user before a new key is recorded.
struct HostKeyLookup {
    enum Result { Known, New, Changed } result = New;
    std::string keyType;             // "ssh-ed25519", "ssh-rsa", ... as the key names itself
    std::string fingerprint;         // of the key the device offered
    std::string recordedFingerprint; // Changed: of the key on record
    std::string keyBlob;             // the offered key (wire format)
};

// Reads the offered key of `session` (after the handshake) and compares it
// with the file at `path`, as CheckHostKey does, but records nothing and
// raises nothing for a new or changed key. Errors: text::link_key_unchecked for a key that
// cannot be read, text::link_known_hosts_unreadable for a file that cannot be read.
HostKeyLookup LookUpHostKey(LIBSSH2_SESSION* session, const std::string& path, const std::string& host,
                            uint16_t port);

// Appends "name type base64" for `keyBlob` to the file at `path` (made with
// its folders when missing; rewritten whole and atomically). Error text::link_key_unchecked for
// a blob that does not name its key type.
void RecordHostKey(const std::string& path, const std::string& host, uint16_t port,
                   const std::string& keyBlob);

// Removes every key recorded for exactly this host and port (other hosts,
// other ports of the same host and comment lines stay). Returns how many
// keys were removed; a missing file removes nothing.
size_t ForgetHostKey(const std::string& path, const std::string& host, uint16_t port);

// The key type a wire-format key blob names ("" when it names none).
std::string KeyTypeOfBlob(const std::string& keyBlob);

} // namespace korvex
