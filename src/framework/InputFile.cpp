#include "framework/InputFile.h"

#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvex {

InputFile::InputFile(const std::string& p) : path(p) {
    // O_NONBLOCK only for the open itself: a FIFO opens at once and is then
    // refused below, as are devices, sockets and folders.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        Fail(text::io_open_failed);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        Fail(text::io_open_failed);
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        Fail(text::io_open_failed);
    }
    file = fdopen(fd, "rb");
    if (!file) {
        ::close(fd);
        Fail(text::io_open_failed);
    }
    size = uint64_t(st.st_size);
}

InputFile::~InputFile() {
    if (file)
        std::fclose(file);
}

void InputFile::Read(void* buffer, size_t n) {
    if (n != 0 && std::fread(buffer, 1, n, file) != n)
        Fail(text::io_read_failed);
}

std::string InputFile::Name() const {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void InputFile::Fail(unsigned id) const {
    RaiseMessage(LoadTextA(id) + path + "'.");
}

} // namespace korvex
