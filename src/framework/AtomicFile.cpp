#include "framework/AtomicFile.h"

#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvex {

namespace {

// The text with each "%s" replaced by the next value.
std::string Fill(const std::string& format, std::initializer_list<std::string> values) {
    std::string out;
    auto next = values.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format.compare(i, 2, "%s") == 0 && next != values.end()) {
            out += *next++;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

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

// WriteTargetProblem for a path whose links are followed already. Only
// stat and access: a device or a pipe is never opened.
unsigned ResolvedTargetProblem(const std::string& path) {
    if (NameOf(path).empty())
        return text::write_is_folder;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        if (unsigned kind = FileKindProblem(st.st_mode))
            return kind;
        if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
            return errno == EACCES || errno == EPERM ? text::write_read_only_file : WriteErrorReason(errno);
    } else if (errno != ENOENT) {
        return WriteErrorReason(errno);
    }
    const std::string folder = FolderOf(path);
    struct stat dir {};
    if (stat(folder.c_str(), &dir) != 0)
        return WriteErrorReason(errno);
    if (!S_ISDIR(dir.st_mode))
        return text::write_not_a_folder;
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return errno == EACCES || errno == EPERM ? text::write_read_only_folder : WriteErrorReason(errno);
    return 0;
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

unsigned WriteErrorReason(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return text::write_disk_full;
    case EFBIG:
        return text::write_too_large;
    case EROFS:
        return text::write_read_only_fs;
    case EACCES:
    case EPERM:
        return text::write_no_permission;
    case ENOENT:
        return text::write_no_folder;
    case ENOTDIR:
        return text::write_not_a_folder;
    case EISDIR:
        return text::write_is_folder;
    case ELOOP:
        return text::write_too_many_links;
    case ENAMETOOLONG:
        return text::write_name_too_long;
    case EIO:
        return text::write_io_error;
    default:
        return 0;
    }
}

unsigned FileKindProblem(unsigned mode) {
    if (S_ISREG(mode))
        return 0;
    if (S_ISDIR(mode))
        return text::write_is_folder;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return text::write_is_device;
    if (S_ISFIFO(mode))
        return text::write_is_fifo;
    if (S_ISSOCK(mode))
        return text::write_is_socket;
    return text::write_is_special;
}

unsigned WriteTargetProblem(const std::string& path) {
    return ResolvedTargetProblem(ResolveLinks(path));
}

std::string WriteRefusedText(const std::string& path, unsigned reason) {
    return Fill(LoadTextA(text::write_refused), {path, LoadTextA(reason)});
}

std::string WriteFailedText(const std::string& path, int error) {
    const unsigned reason = WriteErrorReason(error);
    const std::string why =
        reason ? LoadTextA(reason) : Fill(LoadTextA(text::write_system_error), {std::strerror(error)});
    return Fill(LoadTextA(text::write_failed), {path, why});
}

std::string WriteFailedBecause(const std::string& path, unsigned reason) {
    return Fill(LoadTextA(text::write_failed), {path, LoadTextA(reason)});
}

AtomicFile::AtomicFile(std::string t, bool unnamedTemporary) : target(std::move(t)) {
    finalPath = ResolveLinks(target);
    folder = FolderOf(finalPath);
    prefix = TemporaryPrefix(finalPath);
    // Refused before anything is made: only regular files are replaced.
    if (unsigned problem = ResolvedTargetProblem(finalPath))
        RaiseMessage(WriteRefusedText(target, problem));

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
        RaiseMessage(WriteFailedText(target, errno));
    if (replacing) {
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not permitted for another user's file: the file becomes ours.
        }
        fchmod(fd, old.st_mode & 07777);
    }
    file = fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        close(fd);
        Fail(error);
    }
}

AtomicFile::~AtomicFile() {
    Discard();
}

void AtomicFile::Fail(int error) {
    Discard();
    RaiseMessage(WriteFailedText(target, error));
}

void AtomicFile::Write(const void* buffer, size_t n) {
    if (n == 0)
        return;
    if (!file)
        Fail(writeError ? writeError : EBADF);
    if (std::fwrite(buffer, 1, n, file) != n) {
        writeError = errno ? errno : EIO;
        Fail(writeError);
    }
}

void AtomicFile::Commit() {
    if (!file)
        Fail(writeError ? writeError : EBADF);
    const int fd = fileno(file);
    if (std::fflush(file) != 0 || fsync(fd) != 0)
        Fail(errno);
    if (unnamed) {
        // Give the finished file a temporary name, then rename it over the
        // target: the target is the old file or the new one, never a part.
        std::string proc = "/proc/self/fd/" + std::to_string(fd);
        int error = EEXIST;
        for (int attempt = 0; attempt < 100 && temporary.empty() && error == EEXIST; ++attempt) {
            std::string candidate = folder + "/" + prefix + RandomSuffix();
            if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0)
                temporary = candidate;
            else
                error = errno;
        }
        if (temporary.empty())
            Fail(error);
    }
    std::FILE* closing = file;
    file = nullptr;
    if (std::fclose(closing) != 0)
        Fail(errno);
    // Something other than a regular file may have taken the target's name
    // while the file was written; it is left as it is.
    struct stat now {};
    if (stat(finalPath.c_str(), &now) == 0 && !S_ISREG(now.st_mode)) {
        Discard();
        RaiseMessage(WriteRefusedText(target, FileKindProblem(now.st_mode)));
    }
    if (std::rename(temporary.c_str(), finalPath.c_str()) != 0)
        Fail(errno);
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
