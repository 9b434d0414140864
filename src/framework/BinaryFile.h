#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace korvex {

// A file opened with a C mode text ("rb", "wb", "wt", ...); the read modes
// open regular files only. Every failure raises a LocalException naming the
// path: open (text::io_open_failed, also for reading a folder, device or pipe), size (text::io_size_failed),
// read (text::io_read_failed), write (text::io_write_failed). Closed when destroyed.
class BinaryFile {
public:
    BinaryFile() = default;
    BinaryFile(const std::string& path, const char* mode) { Open(path, mode); }
    ~BinaryFile();

    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;

    void Open(const std::string& path, const char* mode);
    void Close();
    uint64_t Size();
    void Read(void* buffer, size_t n);
    void Write(const void* buffer, size_t n);
    // Flushes user-space buffers and forces the data to the disk.
    void Sync();

    const std::string& Path() const { return path; }
    std::FILE* Handle() const { return file; }

    // Reads a whole file.
    static std::vector<uint8_t> ReadAll(const std::string& path);

private:
    [[noreturn]] void Fail(unsigned id) const;

    std::FILE* file = nullptr;
    std::string path;
};

// Writes a file so that it either appears whole or not at all: the bytes go
// to a temporary file in the target's folder (unnamed where the file system
// allows it), which Commit flushes to the disk and renames over the target.
// A target that is a symbolic link stays a link: the file it points to is
// replaced. A replaced file keeps its permissions (and owner where
// permitted); a new one gets the umask's permissions, which are never
// changed. Destroying an uncommitted AtomicFile removes the temporary file
// and leaves any previous target untouched; temporaries of the same target
// left by a killed process are removed by the next Commit.
class AtomicFile {
public:
    // `unnamedTemporary` false forces a named temporary file even where the
    // file system offers unnamed ones (as on file systems without them).
    explicit AtomicFile(std::string target, bool unnamedTemporary = true);
    ~AtomicFile();

    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void Write(const void* buffer, size_t n);
    std::FILE* Handle() const { return file; }
    const std::string& Target() const { return target; }
    void Commit();
    void Discard();

    // Convenience: the whole content at once.
    static void WriteAll(const std::string& target, const void* data, size_t n);

private:
    std::string target;
    std::string finalPath; // the target with its links followed
    std::string folder;
    std::string prefix;    // ".NAME.tmp-" of temporary names
    std::string temporary; // named temporary, if any
    std::FILE* file = nullptr;
    bool unnamed = false;
    bool committed = false;
};

} // namespace korvex
