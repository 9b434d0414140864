#include "framework/BinaryFile.h"

#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvex {

BinaryFile::~BinaryFile() {
    Close();
}

void BinaryFile::Fail(unsigned id) const {
    RaiseMessage(LoadTextA(id) + path + "'.");
}

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
        Fail(text::io_open_failed);
    // fopen opens a folder for reading too, and its size then reads as
    // 2^63; devices and pipes have no size at all. Only regular files are
    // read. (Writing to a folder fails in fopen already.)
    struct stat st {};
    if (m[0] == 'r' && (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode))) {
        Close();
        Fail(text::io_open_failed);
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
        Fail(text::io_size_failed);
    off_t size = ftello(file);
    if (size < 0 || uint64_t(size) > uint64_t(PTRDIFF_MAX) || fseeko(file, 0, SEEK_SET) != 0)
        Fail(text::io_size_failed);
    return static_cast<uint64_t>(size);
}

void BinaryFile::Read(void* buffer, size_t n) {
    if (n == 0)
        return;
    if (!file || std::fread(buffer, 1, n, file) != n)
        Fail(text::io_read_failed);
}

void BinaryFile::Write(const void* buffer, size_t n) {
    if (n == 0)
        return;
    if (!file || std::fwrite(buffer, 1, n, file) != n)
        Fail(text::io_write_failed);
}

void BinaryFile::Sync() {
    if (!file || std::fflush(file) != 0 || fsync(fileno(file)) != 0)
        Fail(text::io_write_failed);
}

std::vector<uint8_t> BinaryFile::ReadAll(const std::string& path) {
    BinaryFile f(path, "rb");
    uint64_t size = f.Size();
    std::vector<uint8_t> data(static_cast<size_t>(size));
    f.Read(data.data(), data.size());
    return data;
}

namespace {

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a path finally names: symbolic links are followed (a relative
// link from the folder it lies in) so that saving through a link writes the
// file it points to and keeps the link. A dangling link names the file it
// would point to. Gives up after 40 links, as the system does.
std::string ResolveLinks(std::string path) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::vector<char> buf(size_t(st.st_size > 0 ? st.st_size : 255) + 2);
        ssize_t n = readlink(path.c_str(), buf.data(), buf.size() - 1);
        if (n < 0)
            return path;
        std::string link(buf.data(), size_t(n));
        if (link.empty())
            return path;
        path = link[0] == '/' ? link : FolderOf(path) + "/" + link;
    }
    return path;
}

// Temporary names: ".NAME.tmp-" followed by six characters.
std::string TemporaryPrefix(const std::string& target) {
    return "." + NameOf(target) + ".tmp-";
}

bool IsTemporaryName(const std::string& name, const std::string& prefix) {
    return name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0;
}

// Removes what an earlier save of the same file left behind when it was
// killed between creating its temporary file and renaming it.
void RemoveStaleTemporaries(const std::string& folder, const std::string& prefix) {
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (IsTemporaryName(name, prefix))
            unlinkat(dirfd(dir), name.c_str(), 0);
    }
    closedir(dir);
}

std::string RandomSuffix() {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    uint8_t bytes[6];
    if (getentropy(bytes, sizeof bytes) != 0) {
        uint64_t v =
            uint64_t(getpid()) * 0x9E3779B97F4A7C15ull ^ uint64_t(reinterpret_cast<uintptr_t>(bytes));
        for (uint8_t& b : bytes) {
            b = uint8_t(v);
            v = v * 6364136223846793005ull + 1442695040888963407ull;
        }
    }
    std::string out;
    for (uint8_t b : bytes)
        out += letters[b % (sizeof letters - 1)];
    return out;
}

} // namespace

AtomicFile::AtomicFile(std::string t, bool unnamedTemporary) : target(std::move(t)) {
    finalPath = ResolveLinks(target);
    folder = FolderOf(finalPath);
    prefix = TemporaryPrefix(finalPath);

    // The new file takes the old one's permissions (and owner, where the
    // system lets us); a new file gets what the process's umask gives a
    // plainly created one: the kernel applies it to the 0666 asked for here,
    // so the umask itself is never read or changed.
    struct stat old {};
    const bool replacing = stat(finalPath.c_str(), &old) == 0 && S_ISREG(old.st_mode);

    // Preferably an unnamed file in the target's folder: a crash before
    // Commit leaves nothing behind. Where the file system has no unnamed
    // files, a named temporary of a fixed pattern that the next save of
    // the same file removes if it is left over.
    int fd = -1;
#ifdef O_TMPFILE
    if (unnamedTemporary) {
        fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        unnamed = fd >= 0;
    }
#else
    (void)unnamedTemporary;
#endif
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        std::string candidate = folder + "/" + prefix + RandomSuffix();
        fd = open(candidate.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0)
            temporary = candidate;
        else if (errno != EEXIST)
            break;
    }
    if (fd < 0)
        RaiseMessage(LoadTextA(text::io_open_failed) + target + "'.");
    if (replacing) {
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not permitted for another user's file: the file becomes ours.
        }
        fchmod(fd, old.st_mode & 07777);
    }
    file = fdopen(fd, "wb");
    if (!file) {
        close(fd);
        if (!temporary.empty())
            unlink(temporary.c_str());
        RaiseMessage(LoadTextA(text::io_open_failed) + target + "'.");
    }
}

AtomicFile::~AtomicFile() {
    Discard();
}

void AtomicFile::Write(const void* buffer, size_t n) {
    if (n == 0)
        return;
    if (!file || std::fwrite(buffer, 1, n, file) != n)
        RaiseMessage(LoadTextA(text::io_write_failed) + target + "'.");
}

void AtomicFile::Commit() {
    if (!file)
        RaiseMessage(LoadTextA(text::io_write_failed) + target + "'.");
    const int fd = fileno(file);
    bool ok = std::fflush(file) == 0 && fsync(fd) == 0;
    if (ok && unnamed) {
        // Give the finished file a temporary name, then rename it over the
        // target: the target is the old file or the new one, never a part.
        std::string proc = "/proc/self/fd/" + std::to_string(fd);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string candidate = folder + "/" + prefix + RandomSuffix();
            if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                temporary = candidate;
                break;
            }
            if (errno != EEXIST)
                break;
        }
        ok = !temporary.empty();
    }
    ok = (std::fclose(file) == 0) && ok;
    file = nullptr;
    if (!ok || std::rename(temporary.c_str(), finalPath.c_str()) != 0) {
        if (!temporary.empty())
            unlink(temporary.c_str());
        temporary.clear();
        RaiseMessage(LoadTextA(text::io_write_failed) + target + "'.");
    }
    committed = true;
    // The rename is made durable with the folder. With named temporaries,
    // leftovers of saves that were killed part-way are cleared away.
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    if (!unnamed)
        RemoveStaleTemporaries(folder, prefix);
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
