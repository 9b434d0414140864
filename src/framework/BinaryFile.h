#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace korvex {

// A file opened with a C mode text ("rb", "wb", "wt", ...); the read modes
// open regular files only. Every failure raises a LocalException naming the
// path: open (256, also for reading a folder, device or pipe), size (257),
// read (254), write (255). Closed when destroyed.
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
// to a temporary file in the target's folder, which Commit flushes to the
// disk and renames over the target. Destroying an uncommitted AtomicFile
// removes the temporary file and leaves any previous target untouched.
class AtomicFile {
public:
    explicit AtomicFile(std::string target);
    ~AtomicFile();

    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void Write(const void* buffer, size_t n);
    std::FILE* Handle() const { return file; }
    const std::string& TemporaryPath() const { return temporary; }
    const std::string& Target() const { return target; }
    void Commit();
    void Discard();

    // Convenience: the whole content at once.
    static void WriteAll(const std::string& target, const void* data, size_t n);

private:
    std::string target;
    std::string temporary;
    std::FILE* file = nullptr;
    bool committed = false;
};

} // namespace korvex
