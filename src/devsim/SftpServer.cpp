// A small SFTP (version 3) server over the device's files, so that the
// OpenSSH scp of today, which copies through SFTP unless given -O, works
// against the simulator too. Reads, writes (kept in memory and written
// safely on close), stat, directory listing and realpath; everything that
// would change the tree otherwise (remove, rename, mkdir, links) is refused.

#include "devsim/DeviceCommands.h"
#include "devsim/DeviceFiles.h"
#include "framework/BinaryFile.h"

#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace korvex::devsim {

namespace {

enum : uint8_t {
    kInit = 1,
    kVersion = 2,
    kOpen = 3,
    kClose = 4,
    kRead = 5,
    kWrite = 6,
    kLstat = 7,
    kFstat = 8,
    kSetstat = 9,
    kFsetstat = 10,
    kOpendir = 11,
    kReaddir = 12,
    kRealpath = 16,
    kStat = 17,
    kStatus = 101,
    kHandle = 102,
    kData = 103,
    kName = 104,
    kAttrs = 105,
};
enum : uint32_t {
    kOk = 0,
    kEof = 1,
    kNoSuchFile = 2,
    kPermissionDenied = 3,
    kFailure = 4,
    kBadMessage = 5,
    kUnsupported = 8
};
enum : uint32_t {
    kAttrSize = 1,
    kAttrUidGid = 2,
    kAttrPermissions = 4,
    kAttrTimes = 8,
    kAttrExtended = 0x80000000u
};
enum : uint32_t {
    kOpenRead = 1,
    kOpenWrite = 2,
    kOpenAppend = 4,
    kOpenCreate = 8,
    kOpenTruncate = 0x10,
    kOpenExclusive = 0x20
};

constexpr uint32_t kMaxPacket = 256 * 1024;
constexpr uint64_t kMaxWrittenFile = 256ull << 20;
constexpr size_t kMaxHandles = 64;

// Reads the fields of one packet; every read checks the remaining length.
class Reader {
public:
    Reader(const std::string& data, size_t at, size_t end) : data(data), at(at), end(end) {}
    bool U8(uint8_t& v) {
        if (end - at < 1)
            return false;
        v = uint8_t(data[at++]);
        return true;
    }
    bool U32(uint32_t& v) {
        if (end - at < 4)
            return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v = v << 8 | uint8_t(data[at++]);
        return true;
    }
    bool U64(uint64_t& v) {
        uint32_t hi, lo;
        if (!U32(hi) || !U32(lo))
            return false;
        v = uint64_t(hi) << 32 | lo;
        return true;
    }
    bool String(std::string& s) {
        uint32_t n;
        if (!U32(n) || end - at < n)
            return false;
        s = data.substr(at, n);
        at += n;
        return true;
    }
    struct Attrs {
        uint32_t flags = 0;
        uint32_t permissions = 0;
        uint32_t atime = 0, mtime = 0;
    };
    bool Attributes(Attrs& a) {
        if (!U32(a.flags))
            return false;
        uint64_t size;
        uint32_t skip, count;
        if ((a.flags & kAttrSize) && !U64(size))
            return false;
        if ((a.flags & kAttrUidGid) && (!U32(skip) || !U32(skip)))
            return false;
        if ((a.flags & kAttrPermissions) && !U32(a.permissions))
            return false;
        if ((a.flags & kAttrTimes) && (!U32(a.atime) || !U32(a.mtime)))
            return false;
        if (a.flags & kAttrExtended) {
            if (!U32(count))
                return false;
            std::string k, v;
            for (uint32_t i = 0; i < count; ++i)
                if (!String(k) || !String(v))
                    return false;
        }
        return true;
    }

private:
    const std::string& data;
    size_t at, end;
};

class Writer {
public:
    explicit Writer(uint8_t type) { body.push_back(char(type)); }
    Writer& U32(uint32_t v) {
        for (int i = 3; i >= 0; --i)
            body.push_back(char((v >> (8 * i)) & 0xFF));
        return *this;
    }
    Writer& U64(uint64_t v) { return U32(uint32_t(v >> 32)).U32(uint32_t(v)); }
    Writer& String(const std::string& s) {
        U32(uint32_t(s.size()));
        body += s;
        return *this;
    }
    Writer& Attributes(const struct stat& st) {
        U32(kAttrSize | kAttrUidGid | kAttrPermissions | kAttrTimes);
        U64(uint64_t(st.st_size)).U32(0).U32(0).U32(st.st_mode);
        return U32(uint32_t(st.st_atime)).U32(uint32_t(st.st_mtime));
    }
    std::string Packet() const {
        std::string p;
        uint32_t n = uint32_t(body.size());
        for (int i = 3; i >= 0; --i)
            p.push_back(char((n >> (8 * i)) & 0xFF));
        return p + body;
    }

private:
    std::string body;
};

struct Handle {
    enum class Kind { File, Folder } kind = Kind::File;
    std::string devicePath, hostPath;
    // Reading
    int fd = -1;
    uint64_t size = 0, served = 0;
    // Writing
    bool writing = false;
    std::string content;
    uint32_t mode = 0644;
    bool haveTimes = false;
    uint32_t atime = 0, mtime = 0;
    size_t transfer = 0;
    bool failed = false;
    // Listing
    std::vector<std::string> names;
    bool listed = false;
};

// Folders above the device's own ones, which exist only as path steps.
bool VirtualFolder(const std::string& path) {
    return path == "/" || path == "/etc" || path == "/mnt";
}

std::string Normalise(const std::string& path) {
    std::string p = path.empty() || path[0] != '/' ? "/" + path : path;
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string::npos)
            j = p.size();
        std::string part = p.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out;
    for (const auto& part : parts)
        out += "/" + part;
    return out.empty() ? "/" : out;
}

class SftpHandler : public ExecHandler {
public:
    explicit SftpHandler(DeviceSimulator::State& state) : state(state) {}
    ~SftpHandler() override {
        for (auto& [id, h] : handles)
            if (h.fd >= 0)
                ::close(h.fd);
    }

    void Step(ExecContext& c) override {
        c.logOutput = false;
        while (!c.done) {
            if (c.input.size() < 4) {
                if (c.inputEof)
                    End(c);
                return;
            }
            uint32_t length = uint8_t(c.input[0]) << 24 | uint8_t(c.input[1]) << 16 |
                              uint8_t(c.input[2]) << 8 | uint8_t(c.input[3]);
            if (length < 1 || length > kMaxPacket) {
                End(c); // not SFTP: give up on the channel
                return;
            }
            if (c.input.size() < 4 + size_t(length)) {
                if (c.inputEof)
                    End(c);
                return;
            }
            Reader r(c.input, 4, 4 + size_t(length));
            c.output += Answer(r);
            c.input.erase(0, 4 + size_t(length));
        }
    }

private:
    void End(ExecContext& c) {
        // Files still open for writing when the client goes are dropped.
        for (auto& [id, h] : handles)
            if (h.writing && !h.failed)
                Fail(h, "the client left before closing the file");
        c.exitStatus = 0;
        c.done = true;
    }

    static std::string Status(uint32_t id, uint32_t code, const std::string& message) {
        return Writer(kStatus).U32(id).U32(code).String(message).String("").Packet();
    }

    std::string Answer(Reader& r) {
        uint8_t type = 0;
        uint32_t id = 0;
        r.U8(type);
        if (type == kInit)
            return Writer(kVersion).U32(3).Packet();
        if (!r.U32(id))
            return Status(0, kBadMessage, "bad packet");
        std::string path, handle;
        Reader::Attrs attrs;
        switch (type) {
        case kRealpath:
            if (!r.String(path))
                break;
            path = Normalise(path);
            return Writer(kName).U32(id).U32(1).String(path).String(path).U32(0).Packet();
        case kStat:
        case kLstat:
            if (!r.String(path))
                break;
            return StatPath(id, Normalise(path));
        case kFstat: {
            if (!r.String(handle))
                break;
            auto* h = Find(handle);
            if (!h)
                return Status(id, kFailure, "bad handle");
            return StatPath(id, h->devicePath);
        }
        case kOpen: {
            uint32_t flags;
            if (!r.String(path) || !r.U32(flags) || !r.Attributes(attrs))
                break;
            return Open(id, Normalise(path), flags, attrs);
        }
        case kRead: {
            uint64_t offset;
            uint32_t length;
            if (!r.String(handle) || !r.U64(offset) || !r.U32(length))
                break;
            return Read(id, handle, offset, length);
        }
        case kWrite: {
            uint64_t offset;
            std::string data;
            if (!r.String(handle) || !r.U64(offset) || !r.String(data))
                break;
            return Write(id, handle, offset, data);
        }
        case kClose:
            if (!r.String(handle))
                break;
            return Close(id, handle);
        case kSetstat:
        case kFsetstat: {
            bool byHandle = type == kFsetstat;
            if (!r.String(byHandle ? handle : path) || !r.Attributes(attrs))
                break;
            return SetStat(id, byHandle ? Find(handle) : nullptr, byHandle ? "" : Normalise(path), attrs);
        }
        case kOpendir:
            if (!r.String(path))
                break;
            return OpenFolder(id, Normalise(path));
        case kReaddir:
            if (!r.String(handle))
                break;
            return ReadFolder(id, handle);
        default:
            return Status(id, kUnsupported, "not supported by this device");
        }
        return Status(id, kBadMessage, "malformed request");
    }

    std::string StatPath(uint32_t id, const std::string& path) {
        struct stat st {};
        if (VirtualFolder(path)) {
            st.st_mode = S_IFDIR | 0755;
            return Writer(kAttrs).U32(id).Attributes(st).Packet();
        }
        std::string host = MapDevicePath(state.options.rootDir, path);
        if (host.empty() || ::stat(host.c_str(), &st) != 0)
            return Status(id, kNoSuchFile, "No such file");
        return Writer(kAttrs).U32(id).Attributes(st).Packet();
    }

    std::string NewHandle(struct Handle h) {
        std::string name = std::to_string(nextHandle++);
        handles[name] = std::move(h);
        return name;
    }

    struct Handle* Find(const std::string& name) {
        auto it = handles.find(name);
        return it == handles.end() ? nullptr : &it->second;
    }

    std::string Open(uint32_t id, const std::string& path, uint32_t flags, const Reader::Attrs& attrs) {
        if (handles.size() >= kMaxHandles)
            return Status(id, kFailure, "too many open files");
        std::string host = MapDevicePath(state.options.rootDir, path);
        std::error_code ec;
        if (host.empty())
            return Status(id, kNoSuchFile, "No such file");
        struct Handle h;
        h.devicePath = path;
        h.hostPath = host;
        if (flags & kOpenWrite) {
            if (!fs::is_directory(fs::path(host).parent_path(), ec))
                return Status(id, kNoSuchFile, "No such folder");
            if (fs::is_directory(host, ec))
                return Status(id, kFailure, "Is a folder");
            bool exists = fs::exists(host, ec);
            if (exists && (flags & kOpenExclusive))
                return Status(id, kFailure, "File exists");
            if (!exists && !(flags & kOpenCreate))
                return Status(id, kNoSuchFile, "No such file");
            if (exists && !(flags & kOpenTruncate) && !ReadFile(host, h.content))
                return Status(id, kPermissionDenied, "cannot read the old content");
            h.writing = true;
            if (attrs.flags & kAttrPermissions)
                h.mode = attrs.permissions & 07777;
            TransferRecord rec;
            rec.direction = TransferRecord::Direction::ToDevice;
            rec.devicePath = path;
            rec.mode = h.mode;
            h.transfer = state.AddTransfer(rec);
            return Writer(kHandle).U32(id).String(NewHandle(std::move(h))).Packet();
        }
        if (!fs::is_regular_file(host, ec))
            return Status(id, kNoSuchFile, "No such file");
        h.fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (h.fd < 0 || ::fstat(h.fd, &st) != 0) {
            if (h.fd >= 0)
                ::close(h.fd);
            return Status(id, kPermissionDenied, "Permission denied");
        }
        h.size = uint64_t(st.st_size);
        TransferRecord rec;
        rec.direction = TransferRecord::Direction::FromDevice;
        rec.devicePath = path;
        rec.size = h.size;
        rec.mode = st.st_mode & 07777;
        h.transfer = state.AddTransfer(rec);
        return Writer(kHandle).U32(id).String(NewHandle(std::move(h))).Packet();
    }

    std::string Read(uint32_t id, const std::string& name, uint64_t offset, uint32_t length) {
        auto* h = Find(name);
        if (!h || h->fd < 0)
            return Status(id, kFailure, "bad handle");
        if (offset >= h->size)
            return Status(id, kEof, "end of file");
        std::string data(std::min<uint64_t>(length, 64 * 1024), '\0');
        ssize_t n = ::pread(h->fd, data.data(), data.size(), off_t(offset));
        if (n < 0)
            return Status(id, kFailure, "read failed");
        if (n == 0)
            return Status(id, kEof, "end of file");
        data.resize(size_t(n));
        h->served += uint64_t(n);
        return Writer(kData).U32(id).String(data).Packet();
    }

    std::string Write(uint32_t id, const std::string& name, uint64_t offset, const std::string& data) {
        auto* h = Find(name);
        if (!h || !h->writing)
            return Status(id, kFailure, "bad handle");
        if (offset > kMaxWrittenFile || data.size() > kMaxWrittenFile - offset) {
            Fail(*h, "file too large");
            return Status(id, kFailure, "file too large for this device");
        }
        if (h->content.size() < offset + data.size())
            h->content.resize(size_t(offset + data.size()));
        h->content.replace(size_t(offset), data.size(), data);
        return Status(id, kOk, "");
    }

    void Fail(struct Handle& h, const std::string& why) {
        h.failed = true;
        std::lock_guard guard(state.lock);
        if (h.transfer < state.transfers.size()) {
            state.transfers[h.transfer].error = why;
            state.transfers[h.transfer].complete = false;
        }
    }

    std::string Close(uint32_t id, const std::string& name) {
        auto it = handles.find(name);
        if (it == handles.end())
            return Status(id, kFailure, "bad handle");
        struct Handle& h = it->second;
        std::string reply = Status(id, kOk, "");
        if (h.fd >= 0) {
            ::close(h.fd);
            std::lock_guard guard(state.lock);
            if (h.transfer < state.transfers.size())
                state.transfers[h.transfer].complete = h.served >= h.size;
        } else if (h.writing && !h.failed) {
            try {
                WriteFileAtomically(h.hostPath, h.content);
                ::chmod(h.hostPath.c_str(), h.mode);
                if (h.haveTimes) {
                    timeval tv[2] = {{time_t(h.atime), 0}, {time_t(h.mtime), 0}};
                    ::utimes(h.hostPath.c_str(), tv);
                }
                std::lock_guard guard(state.lock);
                if (h.transfer < state.transfers.size()) {
                    state.transfers[h.transfer].size = h.content.size();
                    state.transfers[h.transfer].mode = h.mode;
                    state.transfers[h.transfer].withTimes = h.haveTimes;
                    state.transfers[h.transfer].complete = true;
                }
            } catch (const std::exception& e) {
                Fail(h, e.what());
                reply = Status(id, kFailure, "write failed");
            }
        } else if (h.writing) {
            reply = Status(id, kFailure, "the file was not written");
        }
        handles.erase(it);
        return reply;
    }

    std::string SetStat(uint32_t id, struct Handle* h, const std::string& path, const Reader::Attrs& attrs) {
        if (h && h->writing) {
            // Applied when the file is written on close.
            if (attrs.flags & kAttrPermissions)
                h->mode = attrs.permissions & 07777;
            if (attrs.flags & kAttrTimes) {
                h->haveTimes = true;
                h->atime = attrs.atime;
                h->mtime = attrs.mtime;
            }
            return Status(id, kOk, "");
        }
        std::string host = h ? h->hostPath : MapDevicePath(state.options.rootDir, path);
        std::error_code ec;
        if (host.empty() || !fs::exists(host, ec))
            return Status(id, kNoSuchFile, "No such file");
        if (attrs.flags & kAttrPermissions)
            ::chmod(host.c_str(), attrs.permissions & 07777);
        if (attrs.flags & kAttrTimes) {
            timeval tv[2] = {{time_t(attrs.atime), 0}, {time_t(attrs.mtime), 0}};
            ::utimes(host.c_str(), tv);
        }
        return Status(id, kOk, "");
    }

    std::string OpenFolder(uint32_t id, const std::string& path) {
        if (handles.size() >= kMaxHandles)
            return Status(id, kFailure, "too many open folders");
        struct Handle h;
        h.kind = Handle::Kind::Folder;
        h.devicePath = path;
        if (path == "/")
            h.names = {"etc", "mnt", "tavo"};
        else if (path == "/etc")
            h.names = {"tavo"};
        else if (path == "/mnt")
            h.names = {"usbdrive"};
        else {
            std::string host = MapDevicePath(state.options.rootDir, path);
            std::error_code ec;
            if (host.empty() || !fs::is_directory(host, ec))
                return Status(id, kNoSuchFile, "No such folder");
            h.hostPath = host;
            for (fs::directory_iterator it(host, ec), end; !ec && it != end; it.increment(ec))
                h.names.push_back(it->path().filename().string());
        }
        return Writer(kHandle).U32(id).String(NewHandle(std::move(h))).Packet();
    }

    std::string ReadFolder(uint32_t id, const std::string& name) {
        auto* h = Find(name);
        if (!h || h->kind != Handle::Kind::Folder)
            return Status(id, kFailure, "bad handle");
        if (h->listed)
            return Status(id, kEof, "end of folder");
        h->listed = true;
        Writer w(kName);
        w.U32(id).U32(uint32_t(h->names.size()));
        for (const auto& n : h->names) {
            struct stat st {};
            std::string child = h->devicePath == "/" ? "/" + n : h->devicePath + "/" + n;
            if (VirtualFolder(child) || h->hostPath.empty())
                st.st_mode = S_IFDIR | 0755;
            else
                ::stat((h->hostPath + "/" + n).c_str(), &st);
            w.String(n).String(n).Attributes(st);
        }
        return w.Packet();
    }

    DeviceSimulator::State& state;
    std::map<std::string, struct Handle> handles;
    unsigned nextHandle = 1;
};

} // namespace

std::unique_ptr<ExecHandler> CreateSftpHandler(DeviceSimulator::State& state) {
    return std::make_unique<SftpHandler>(state);
}

} // namespace korvex::devsim
