#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace korvex {

// A file opened for reading with a C mode text ("rb", "rt"); regular files
// only. Files are written with AtomicFile (framework/AtomicFile.h), the one
// way out: any other mode is refused. Every failure raises a LocalException
// naming the path: open (text::io_open_failed, also for a folder, device or
// pipe, or a mode that writes), size (text::io_size_failed), read
// (text::io_read_failed). Closed when destroyed.
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

    const std::string& Path() const { return path; }
    std::FILE* Handle() const { return file; }

    // Reads a whole file.
    static std::vector<uint8_t> ReadAll(const std::string& path);

private:
    [[noreturn]] void Fail(unsigned id) const;

    std::FILE* file = nullptr;
    std::string path;
};

} // namespace korvex
