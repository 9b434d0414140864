#include "files/PackageFolder.h"

#include "framework/AtomicFile.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace korvex {

namespace fs = std::filesystem;

namespace {

bool PlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos &&
           name.find('\0') == std::string::npos;
}

void SyncFolder(const fs::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

[[noreturn]] void FailWrite(const fs::path& folder, int error = errno) {
    RaiseMessage(WriteFailedText(folder.string(), error));
}

// The folder the package replaces: absolute, without a trailing separator,
// a link to a folder followed.
fs::path TargetFolder(const std::string& folder) {
    fs::path target = fs::absolute(folder).lexically_normal();
    if (!target.has_filename())
        target = target.parent_path();
    std::error_code ec;
    if (fs::is_symlink(target, ec) && fs::is_directory(target, ec))
        target = fs::canonical(target);
    if (target == target.root_path())
        FailWrite(target, EBUSY);
    return target;
}

// A new empty folder beside `target`, made with the umask's permissions.
fs::path MakeSibling(const fs::path& target, const char* kind) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", random());
        fs::path candidate = target.parent_path() / ("." + target.filename().string() + kind + suffix);
        if (::mkdir(candidate.c_str(), 0777) == 0)
            return candidate;
        if (errno != EEXIST)
            break;
    }
    FailWrite(target);
}

// Removes a folder of ours when it goes out of scope, unless released.
struct ScratchFolder {
    fs::path path;
    ~ScratchFolder() {
        if (!path.empty()) {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    }
};

// Puts `fresh` where `target` is; the old folder ends up at the path
// returned (to be removed). Exchanges the two in one step where the file
// system can; elsewhere the old one is renamed away first and put back if
// the new one cannot take its place.
fs::path SwapIn(const fs::path& fresh, const fs::path& target) {
    if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0)
        return fresh;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        FailWrite(target);
    fs::path old = MakeSibling(target, ".old-");
    if (::rename(target.c_str(), old.c_str()) != 0) {
        const int error = errno;
        ::rmdir(old.c_str());
        FailWrite(target, error);
    }
    if (::rename(fresh.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::rename(old.c_str(), target.c_str());
        FailWrite(target, error);
    }
    return old;
}

} // namespace

bool IsPackageFileName(const std::string& name) {
    if (name == "config.txt" || name == "compose.txt")
        return true;
    if (name.size() < 8 || name.compare(0, 3, "det") != 0 || name.compare(name.size() - 4, 4, ".bmp") != 0)
        return false;
    for (size_t i = 3; i < name.size() - 4; ++i)
        if (name[i] < '0' || name[i] > '9')
            return false;
    return true;
}

std::vector<std::string> ForeignEntries(const std::string& folder) {
    std::vector<std::string> foreign;
    std::error_code ec;
    const fs::path target = TargetFolder(folder);
    if (!fs::exists(fs::symlink_status(target, ec)))
        return foreign;
    if (!fs::is_directory(target, ec))
        return {target.filename().string()};
    for (const fs::directory_entry& entry : fs::directory_iterator(target)) {
        const std::string name = entry.path().filename().string();
        if (!IsPackageFileName(name) || !entry.is_regular_file(ec) || entry.is_symlink(ec))
            foreign.push_back(name);
    }
    return foreign;
}

void WritePackageFile(const std::string& path, const std::vector<uint8_t>& content) {
    AtomicFile::WriteAll(path, content.data(), content.size());
}

void WritePackageFolder(const std::vector<PackageEntry>& entries, const std::string& folder,
                        const PackageFileWriter& write) {
    for (const PackageEntry& e : entries)
        if (!PlainFileName(e.name))
            RaiseMessage("unsafe entry name in package: '" + e.name + "'");
    // A device, pipe, socket or file where the folder should be is left as
    // it is, before anything is made.
    struct stat existing {};
    if (::stat(TargetFolder(folder).c_str(), &existing) == 0 && !S_ISDIR(existing.st_mode))
        RaiseMessage(WriteRefusedText(folder, S_ISREG(existing.st_mode) ? text::write_is_file
                                                                        : FileKindProblem(existing.st_mode)));
    const std::vector<std::string> foreign = ForeignEntries(folder);
    if (!foreign.empty())
        RaiseMessage("'" + folder + "' holds files that are not part of a package ('" + foreign.front() +
                     "'); name an empty or new folder, or one holding a package");
    const fs::path target = TargetFolder(folder);
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec)
        FailWrite(target, ec.value());
    const bool replacing = fs::is_directory(target, ec);

    ScratchFolder fresh{MakeSibling(target, ".new-")};
    if (replacing) {
        struct stat old {};
        if (::stat(target.c_str(), &old) == 0)
            ::chmod(fresh.path.c_str(), old.st_mode & 07777);
    }
    try {
        for (const PackageEntry& e : entries)
            write((fresh.path / e.name).string(), e.content);
    } catch (const LocalException& e) {
        // The hidden scratch folder means nothing to the user: the message
        // names the folder asked for.
        std::string message = e.message;
        const std::string scratch = fresh.path.string();
        if (size_t at = message.find(scratch); at != std::string::npos)
            message.replace(at, scratch.size(), target.string());
        RaiseMessage(message);
    }
    SyncFolder(fresh.path);

    if (!replacing) {
        if (::rename(fresh.path.c_str(), target.c_str()) != 0)
            FailWrite(target);
        fresh.path.clear();
    } else {
        // From here the scratch folder is the old package.
        fresh.path = SwapIn(fresh.path, target);
    }
    SyncFolder(target.parent_path());
}

} // namespace korvex
