#include "framework/BinaryFile.h"

#include "framework/LocalException.h"
#include "framework/StringTable.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvex {

BinaryFile::~BinaryFile() { Close(); }

void BinaryFile::Fail(unsigned id) const { RaiseMessage(LoadTextA(id) + path + "'."); }

void BinaryFile::Open(const std::string& p, const char* mode) {
    Close();
    path = p;
    // The C library has no text mode here: "wt" means "w".
    std::string m;
    for (const char* c = mode; *c; ++c)
        if (*c != 't')
            m += *c;
    file = std::fopen(p.c_str(), m.c_str());
    if (!file)
        Fail(256);
    // fopen opens a folder for reading too, and its size then reads as
    // 2^63; devices and pipes have no size at all. Only regular files are
    // read. (Writing to a folder fails in fopen already.)
    struct stat st {};
    if (m[0] == 'r' && (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode))) {
        Close();
        Fail(256);
    }
}

void BinaryFile::Close() {
    if (file) {
        std::fclose(file);
        file = nullptr;
    }
}

uint64_t BinaryFile::Size() {
    if (!file || fseeko(file, 0, SEEK_END) != 0)
        Fail(257);
    off_t size = ftello(file);
    if (size < 0 || uint64_t(size) > uint64_t(PTRDIFF_MAX) || fseeko(file, 0, SEEK_SET) != 0)
        Fail(257);
    return static_cast<uint64_t>(size);
}

void BinaryFile::Read(void* buffer, size_t n) {
    if (n == 0)
        return;
    if (!file || std::fread(buffer, 1, n, file) != n)
        Fail(254);
}

void BinaryFile::Write(const void* buffer, size_t n) {
    if (n == 0)
        return;
    if (!file || std::fwrite(buffer, 1, n, file) != n)
        Fail(255);
}

void BinaryFile::Sync() {
    if (!file || std::fflush(file) != 0 || fsync(fileno(file)) != 0)
        Fail(255);
}

std::vector<uint8_t> BinaryFile::ReadAll(const std::string& path) {
    BinaryFile f(path, "rb");
    uint64_t size = f.Size();
    std::vector<uint8_t> data(static_cast<size_t>(size));
    f.Read(data.data(), data.size());
    return data;
}

AtomicFile::AtomicFile(std::string t) : target(std::move(t)) {
    std::string dir = ".";
    std::string base = target;
    size_t slash = target.find_last_of('/');
    if (slash != std::string::npos) {
        dir = slash == 0 ? "/" : target.substr(0, slash);
        base = target.substr(slash + 1);
    }
    std::string pattern = (dir == "/" ? "" : dir) + "/." + base + ".tmp-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = mkstemp(buf.data());
    if (fd < 0)
        RaiseMessage(LoadTextA(256) + target + "'.");
    temporary = buf.data();
    // Keep the permissions a plainly created file would get.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file = fdopen(fd, "wb");
    if (!file) {
        close(fd);
        unlink(temporary.c_str());
        RaiseMessage(LoadTextA(256) + target + "'.");
    }
}

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Write(const void* buffer, size_t n) {
    if (n == 0)
        return;
    if (!file || std::fwrite(buffer, 1, n, file) != n)
        RaiseMessage(LoadTextA(255) + target + "'.");
}

void AtomicFile::Commit() {
    if (!file)
        RaiseMessage(LoadTextA(255) + target + "'.");
    bool ok = std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    ok = (std::fclose(file) == 0) && ok;
    file = nullptr;
    if (!ok || std::rename(temporary.c_str(), target.c_str()) != 0) {
        unlink(temporary.c_str());
        RaiseMessage(LoadTextA(255) + target + "'.");
    }
    committed = true;
}

void AtomicFile::Discard() {
    if (file) {
        std::fclose(file);
        file = nullptr;
    }
    if (!committed && !temporary.empty()) {
        unlink(temporary.c_str());
        temporary.clear();
    }
}

void AtomicFile::WriteAll(const std::string& target, const void* data, size_t n) {
    AtomicFile f(target);
    f.Write(data, n);
    f.Commit();
}

} // namespace korvex
