// A known_hosts file of arbitrary bytes, read as the host-key check reads
// it: line by line into the SSH library's list, then a device's key looked
// up under the names the program records (plain host, "[host]:port").
#include "devicelink/KnownHosts.h"

#include <libssh2.h>

#include <cstdlib>
#include <string>

namespace {

struct Library {
    Library() { libssh2_init(0); }
    ~Library() { libssh2_exit(); }
};

// A key blob as a device offers it (type string, then key bytes).
const unsigned char kKey[] = {0, 0, 0, 11, 's', 's', 'h', '-', 'e', 'd', '2', '5', '5', '1', '9', 0, 0, 0, 32,
                              1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23,
                              24, 25, 26, 27, 28, 29, 30, 31, 32};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Library library;
    static LIBSSH2_SESSION* session = libssh2_session_init();
    if (!session)
        return 0;
    LIBSSH2_KNOWNHOSTS* hosts = libssh2_knownhost_init(session);
    if (!hosts)
        return 0;
    std::string existing(reinterpret_cast<const char*>(data), size);
    for (size_t pos = 0; pos < existing.size();) {
        size_t end = existing.find('\n', pos);
        size_t next = end == std::string::npos ? existing.size() : end + 1;
        std::string line = existing.substr(pos, next - pos);
        pos = next;
        libssh2_knownhost_readline(hosts, line.data(), line.size(), LIBSSH2_KNOWNHOST_FILE_OPENSSH);
    }
    const int plainRaw = LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW;
    for (uint16_t port : {uint16_t(22), uint16_t(2222)}) {
        const std::string name = korvex::KnownHostName("192.168.0.20", port);
        libssh2_knownhost* found = nullptr;
        int rc = libssh2_knownhost_checkp(hosts, name.c_str(), -1, reinterpret_cast<const char*>(kKey),
                                          sizeof kKey, plainRaw | LIBSSH2_KNOWNHOST_KEY_ED25519, &found);
        if (rc == LIBSSH2_KNOWNHOST_CHECK_MISMATCH && found && found->key) {
            volatile size_t n = std::string(found->key).size();
            (void)n;
        }
    }
    // Every entry read must write back as a line.
    libssh2_knownhost* entry = nullptr;
    char line[8192];
    while (libssh2_knownhost_get(hosts, &entry, entry) == 0) {
        size_t length = 0;
        libssh2_knownhost_writeline(hosts, entry, line, sizeof line, &length, LIBSSH2_KNOWNHOST_FILE_OPENSSH);
    }
    libssh2_knownhost_free(hosts);
    return 0;
}
