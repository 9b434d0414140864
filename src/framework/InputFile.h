#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace korvex {

// A file opened for reading by the program's readers of outside files
// (projects, pictures). Only a regular file is opened, and opening never
// waits: a FIFO or a device is refused from what it is, not read (opening
// a FIFO without a writer would otherwise wait for one). The size is known
// from the start, so a reader bounds what it reads before reading it.
// Failures raise the file messages naming the path: text::io_open_failed
// (also for anything that is not a regular file), text::io_size_failed,
// text::io_read_failed.
class InputFile {
public:
    explicit InputFile(const std::string& path);
    ~InputFile();

    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    uint64_t Size() const { return size; }
    // Reads exactly `n` bytes from the current position.
    void Read(void* buffer, size_t n);
    std::FILE* Handle() const { return file; }
    const std::string& Path() const { return path; }
    // The part of the path after its last '/'.
    std::string Name() const;

private:
    [[noreturn]] void Fail(unsigned id) const;

    std::string path;
    std::FILE* file = nullptr;
    uint64_t size = 0;
};

} // namespace korvex
