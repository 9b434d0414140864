#pragma once

// Trust on first use of device host keys, in an OpenSSH known_hosts file.

#include <cstddef>
#include <cstdint>
#include <string>

typedef struct _LIBSSH2_SESSION LIBSSH2_SESSION;

namespace korvex {

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

} // namespace korvex
