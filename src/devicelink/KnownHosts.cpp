#include "devicelink/KnownHosts.h"

#include "framework/AtomicFile.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <libssh2.h>
#include <memory>
#include <openssl/evp.h>
#include <openssl/sha.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace korvex {

std::string DefaultKnownHostsPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && home[0] ? home : ".") + "/.config";
    }
    return base + "/korvex/known_hosts";
}

std::string KeyFingerprint(const unsigned char* blob, size_t size) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(blob, size, digest);
    unsigned char text[4 * ((SHA256_DIGEST_LENGTH + 2) / 3) + 1];
    int n = EVP_EncodeBlock(text, digest, SHA256_DIGEST_LENGTH);
    std::string encoded(reinterpret_cast<char*>(text), n > 0 ? static_cast<size_t>(n) : 0);
    while (!encoded.empty() && encoded.back() == '=')
        encoded.pop_back();
    return "SHA256:" + encoded;
}

std::string KnownHostName(const std::string& host, uint16_t port) {
    if (port == 22)
        return host;
    return "[" + host + "]:" + std::to_string(port);
}

namespace {

// Fingerprint of a key held in base64, as libssh2 keeps recorded keys.
std::string FingerprintOfBase64(const char* base64) {
    if (!base64)
        return "?";
    std::string text(base64);
    std::vector<unsigned char> blob(text.size() / 4 * 3 + 3);
    int n = EVP_DecodeBlock(blob.data(), reinterpret_cast<const unsigned char*>(text.data()),
                            static_cast<int>(text.size()));
    if (n < 0)
        return "?";
    // EVP_DecodeBlock counts the padding as zero bytes.
    size_t padding = 0;
    for (size_t i = text.size(); i > 0 && text[i - 1] == '=' && padding < 2; --i)
        ++padding;
    size_t size = static_cast<size_t>(n) >= padding ? static_cast<size_t>(n) - padding : 0;
    return KeyFingerprint(blob.data(), size);
}

int KnownHostKeyBits(int hostKeyType) {
    switch (hostKeyType) {
    case LIBSSH2_HOSTKEY_TYPE_RSA:
        return LIBSSH2_KNOWNHOST_KEY_SSHRSA;
    case LIBSSH2_HOSTKEY_TYPE_DSS:
        return LIBSSH2_KNOWNHOST_KEY_SSHDSS;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_256:
        return LIBSSH2_KNOWNHOST_KEY_ECDSA_256;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_384:
        return LIBSSH2_KNOWNHOST_KEY_ECDSA_384;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_521:
        return LIBSSH2_KNOWNHOST_KEY_ECDSA_521;
    case LIBSSH2_HOSTKEY_TYPE_ED25519:
        return LIBSSH2_KNOWNHOST_KEY_ED25519;
    default:
        return 0;
    }
}

[[noreturn]] void RefuseSpecialFile(const std::string& path) {
    std::string text = LoadTextA(text::link_known_hosts_not_file);
    text.replace(text.find("%1"), 2, path);
    RaiseMessage(text);
}

// Reads a regular file (a missing one is empty). The open never waits (a
// FIFO put in its place would block it for good) and anything but a
// regular file is refused before a byte is read.
bool ReadText(const std::string& path, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        RefuseSpecialFile(path);
    }
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            text.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    return n == 0;
}

void MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700); // an existing folder is fine
}

std::string Substitute(std::string text, const std::string& first, const std::string& second) {
    size_t at = text.find("%1");
    if (at != std::string::npos)
        text.replace(at, 2, first);
    at = text.find("%2");
    if (at != std::string::npos)
        text.replace(at, 2, second);
    return text;
}

// Several sessions may meet new devices at the same moment (korvex-cli
// device --hosts runs one process per device); each reads the file, adds
// its line and replaces the file, so without a lock one of two new keys
// would be lost. The lock is held only around that read-add-replace and is
// waited for at most a few seconds: a holder that hangs costs no more than
// the unlocked race did.
//
// The lock file is removed again by its holder. A waiter that got hold of
// a lock file that was removed meanwhile (or replaced) tries again with the
// file now at the path, so two holders never hold different files.
class KnownHostsLock {
public:
    explicit KnownHostsLock(const std::string& path) : lockPath(path + ".lock") {
        MakeFolders(path);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!held && std::chrono::steady_clock::now() < end) {
            fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0)
                return;
            while (::flock(fd, LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EINTR) &&
                   std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            struct stat mine {
            }, now{};
            held = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &mine) == 0 &&
                   ::stat(lockPath.c_str(), &now) == 0 && mine.st_ino == now.st_ino &&
                   mine.st_dev == now.st_dev;
            if (!held) {
                ::close(fd);
                fd = -1;
            }
        }
        if (!held)
            Trace("CheckHostKey: %s stays locked; going on without the lock\n", path.c_str());
    }
    ~KnownHostsLock() {
        if (held)
            ::unlink(lockPath.c_str());
        if (fd >= 0)
            ::close(fd); // releases the lock
    }
    KnownHostsLock(const KnownHostsLock&) = delete;
    KnownHostsLock& operator=(const KnownHostsLock&) = delete;

private:
    std::string lockPath;
    int fd = -1;
    bool held = false;
};

struct KnownHostsDeleter {
    void operator()(LIBSSH2_KNOWNHOSTS* hosts) const { libssh2_knownhost_free(hosts); }
};

// Reads the file at `path` into `hosts` and returns its text. Line by line,
// so that one line libssh2 cannot parse (a key type it does not know, say)
// does not hide the lines after it.
std::string ReadKnownHosts(LIBSSH2_KNOWNHOSTS* hosts, const std::string& path) {
    std::string existing;
    if (!ReadText(path, existing))
        RaiseError(text::link_known_hosts_unreadable);
    for (size_t pos = 0; pos < existing.size();) {
        size_t end = existing.find('\n', pos);
        size_t next = end == std::string::npos ? existing.size() : end + 1;
        std::string line = existing.substr(pos, next - pos);
        pos = next;
        libssh2_knownhost_readline(hosts, line.data(), line.size(), LIBSSH2_KNOWNHOST_FILE_OPENSSH);
    }
    return existing;
}

// Compares the offered key with what `hosts` records for `name`. Port -1:
// only the exact name counts; a key recorded for the plain host name must
// not vouch for another port.
int CompareWithRecorded(LIBSSH2_KNOWNHOSTS* hosts, const std::string& name, const char* key, size_t keySize,
                        int keyBits, libssh2_knownhost** found) {
    const int plainRaw = LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW;
    *found = nullptr;
    int rc = libssh2_knownhost_checkp(hosts, name.c_str(), -1, key, keySize, plainRaw | keyBits, found);
    if (rc == LIBSSH2_KNOWNHOST_CHECK_NOTFOUND) {
        // Only keys of the same type are compared above; a device that now
        // offers a key of another type must be refused as well. Key type 0
        // compares with a recorded key of any type.
        *found = nullptr;
        rc = libssh2_knownhost_checkp(hosts, name.c_str(), -1, key, keySize, plainRaw, found);
    }
    return rc;
}

} // namespace

KnownHostsFile KnownHostsFileKind(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode))
        return KnownHostsFile::Regular; // missing, or a read that fails tells why
    struct stat null {};
    if (S_ISCHR(info.st_mode) && ::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) &&
        info.st_rdev == null.st_rdev)
        return KnownHostsFile::Null;
    RefuseSpecialFile(path);
}

HostKeyVerdict CheckHostKey(LIBSSH2_SESSION* session, const std::string& path, const std::string& host,
                            uint16_t port) {
    size_t keySize = 0;
    int keyType = 0;
    const char* key = libssh2_session_hostkey(session, &keySize, &keyType);
    int keyBits = KnownHostKeyBits(keyType);
    if (!key || keySize == 0 || keyBits == 0)
        RaiseError(text::link_key_unchecked);

    HostKeyVerdict verdict;
    verdict.fingerprint = KeyFingerprint(reinterpret_cast<const unsigned char*>(key), keySize);
    if (KnownHostsFileKind(path) == KnownHostsFile::Null)
        return verdict; // no key known, none recorded

    std::unique_ptr<LIBSSH2_KNOWNHOSTS, KnownHostsDeleter> hosts(libssh2_knownhost_init(session));
    if (!hosts)
        RaiseError(text::link_key_unchecked);
    const KnownHostsLock lock(path);
    const std::string existing = ReadKnownHosts(hosts.get(), path);

    const std::string name = KnownHostName(host, port);
    const int plainRaw = LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW;
    libssh2_knownhost* found = nullptr;
    const int rc = CompareWithRecorded(hosts.get(), name, key, keySize, keyBits, &found);
    if (rc == LIBSSH2_KNOWNHOST_CHECK_MATCH)
        return verdict;
    if (rc == LIBSSH2_KNOWNHOST_CHECK_MISMATCH) {
        std::string recorded = FingerprintOfBase64(found ? found->key : nullptr);
        Trace("CheckHostKey: key of %s changed\n", name.c_str());
        RaiseMessage(Substitute(LoadTextA(text::link_key_changed), recorded, verdict.fingerprint));
    }
    if (rc != LIBSSH2_KNOWNHOST_CHECK_NOTFOUND)
        RaiseError(text::link_key_unchecked);

    // First use: record the key (appended to what the file holds).
    libssh2_knownhost* added = nullptr;
    if (libssh2_knownhost_addc(hosts.get(), name.c_str(), nullptr, key, keySize, nullptr, 0,
                               plainRaw | keyBits, &added) != 0 ||
        !added)
        RaiseError(text::link_key_unchecked);
    std::vector<char> line(8192);
    size_t lineSize = 0;
    if (libssh2_knownhost_writeline(hosts.get(), added, line.data(), line.size(), &lineSize,
                                    LIBSSH2_KNOWNHOST_FILE_OPENSSH) != 0)
        RaiseError(text::link_key_unchecked);
    std::string content = existing;
    if (!content.empty() && content.back() != '\n')
        content += '\n';
    content.append(line.data(), lineSize);
    if (content.back() != '\n')
        content += '\n';
    AtomicFile::WriteAll(path, content.data(), content.size());
    verdict.recorded = true;
    return verdict;
}

// ---- asking before recording (the window's way)

std::string KeyTypeOfBlob(const std::string& blob) {
    if (blob.size() < 4)
        return "";
    const uint32_t n = (static_cast<uint32_t>(static_cast<unsigned char>(blob[0])) << 24) |
                       (static_cast<uint32_t>(static_cast<unsigned char>(blob[1])) << 16) |
                       (static_cast<uint32_t>(static_cast<unsigned char>(blob[2])) << 8) |
                       static_cast<uint32_t>(static_cast<unsigned char>(blob[3]));
    if (n == 0 || n > 64 || n > blob.size() - 4)
        return "";
    std::string type = blob.substr(4, n);
    for (char c : type)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '@' || c == '.'))
            return "";
    return type;
}

HostKeyLookup LookUpHostKey(LIBSSH2_SESSION* session, const std::string& path, const std::string& host,
                            uint16_t port) {
    size_t keySize = 0;
    int keyType = 0;
    const char* key = libssh2_session_hostkey(session, &keySize, &keyType);
    const int keyBits = KnownHostKeyBits(keyType);
    if (!key || keySize == 0 || keyBits == 0)
        RaiseError(text::link_key_unchecked);
    HostKeyLookup lookup;
    lookup.keyBlob.assign(key, keySize);
    lookup.keyType = KeyTypeOfBlob(lookup.keyBlob);
    lookup.fingerprint = KeyFingerprint(reinterpret_cast<const unsigned char*>(key), keySize);
    if (KnownHostsFileKind(path) == KnownHostsFile::Null)
        return lookup; // every key is new

    std::unique_ptr<LIBSSH2_KNOWNHOSTS, KnownHostsDeleter> hosts(libssh2_knownhost_init(session));
    if (!hosts)
        RaiseError(text::link_key_unchecked);
    ReadKnownHosts(hosts.get(), path);
    const std::string name = KnownHostName(host, port);
    libssh2_knownhost* found = nullptr;
    const int rc = CompareWithRecorded(hosts.get(), name, key, keySize, keyBits, &found);
    switch (rc) {
    case LIBSSH2_KNOWNHOST_CHECK_MATCH:
        lookup.result = HostKeyLookup::Known;
        break;
    case LIBSSH2_KNOWNHOST_CHECK_NOTFOUND:
        lookup.result = HostKeyLookup::New;
        break;
    case LIBSSH2_KNOWNHOST_CHECK_MISMATCH:
        lookup.result = HostKeyLookup::Changed;
        lookup.recordedFingerprint = FingerprintOfBase64(found ? found->key : nullptr);
        break;
    default:
        RaiseError(text::link_key_unchecked);
    }
    return lookup;
}

void RecordHostKey(const std::string& path, const std::string& host, uint16_t port,
                   const std::string& keyBlob) {
    const std::string type = KeyTypeOfBlob(keyBlob);
    if (type.empty())
        RaiseError(text::link_key_unchecked);
    if (KnownHostsFileKind(path) == KnownHostsFile::Null)
        return;
    std::vector<unsigned char> text(4 * ((keyBlob.size() + 2) / 3) + 1);
    const int n = EVP_EncodeBlock(text.data(), reinterpret_cast<const unsigned char*>(keyBlob.data()),
                                  static_cast<int>(keyBlob.size()));
    if (n <= 0)
        RaiseError(text::link_key_unchecked);
    std::string content;
    if (!ReadText(path, content))
        RaiseError(text::link_known_hosts_unreadable);
    if (!content.empty() && content.back() != '\n')
        content += '\n';
    content += KnownHostName(host, port) + " " + type + " " +
               std::string(reinterpret_cast<const char*>(text.data()), static_cast<size_t>(n)) + "\n";
    MakeFolders(path);
    AtomicFile::WriteAll(path, content.data(), content.size());
}

size_t ForgetHostKey(const std::string& path, const std::string& host, uint16_t port) {
    if (KnownHostsFileKind(path) == KnownHostsFile::Null)
        return 0;
    std::string existing;
    if (!ReadText(path, existing))
        RaiseError(text::link_known_hosts_unreadable);
    const std::string name = KnownHostName(host, port);
    std::string kept;
    size_t removed = 0;
    for (size_t pos = 0; pos < existing.size();) {
        size_t end = existing.find('\n', pos);
        size_t next = end == std::string::npos ? existing.size() : end + 1;
        std::string line = existing.substr(pos, next - pos);
        pos = next;
        const size_t start = line.find_first_not_of(" \t");
        const size_t field =
            start == std::string::npos ? std::string::npos : line.find_first_of(" \t", start);
        if (start == std::string::npos || line[start] == '#' || field == std::string::npos) {
            kept += line;
            continue;
        }
        // The first field may list several names separated by commas; only
        // this one goes.
        std::string names = line.substr(start, field - start);
        std::string others;
        bool matched = false;
        for (size_t from = 0; from <= names.size();) {
            size_t comma = names.find(',', from);
            if (comma == std::string::npos)
                comma = names.size();
            const std::string one = names.substr(from, comma - from);
            if (one == name)
                matched = true;
            else if (!one.empty())
                others += (others.empty() ? "" : ",") + one;
            from = comma + 1;
        }
        if (!matched) {
            kept += line;
            continue;
        }
        ++removed;
        if (!others.empty())
            kept += line.substr(0, start) + others + line.substr(field);
    }
    if (removed)
        AtomicFile::WriteAll(path, kept.data(), kept.size());
    return removed;
}

} // namespace korvex
