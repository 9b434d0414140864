#include "framework/BinaryFile.h"

#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
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
    // Reading only ("rt" is "r": the C library has no text mode here).
    if (mode[0] != 'r' || std::strpbrk(mode, "wa+"))
        Fail(text::io_open_failed);
    // Opened without waiting (a pipe with no writer would wait for one),
    // then taken only when it is a regular file: a folder's size reads as
    // 2^63, and devices and pipes have none.
    const int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        Fail(text::io_open_failed);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, 0) != 0 ||
        !(file = fdopen(fd, "rb"))) {
        ::close(fd);
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

std::vector<uint8_t> BinaryFile::ReadAll(const std::string& path) {
    BinaryFile f(path, "rb");
    uint64_t size = f.Size();
    std::vector<uint8_t> data(static_cast<size_t>(size));
    f.Read(data.data(), data.size());
    return data;
}

} // namespace korvex
