#include "devsim/Sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace korvex::devsim {

int ListenTcp(const std::string& address, uint16_t port, uint16_t& boundPort) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &at.sin_addr) != 1)
        throw std::runtime_error("devsim: listen address '" + address + "' is not an IPv4 address");
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error(std::string("devsim: cannot create a socket: ") + strerror(errno));
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(fd, 8) != 0) {
        std::string why = strerror(errno);
        ::close(fd);
        throw std::runtime_error("devsim: cannot listen on " + address + ":" + std::to_string(port) + ": " +
                                 why);
    }
    socklen_t length = sizeof at;
    getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
    boundPort = ntohs(at.sin_port);
    return fd;
}

int WaitReady(int fd, int timeout_ms, bool write) {
    pollfd p{fd, short(write ? POLLOUT : POLLIN), 0};
    int n = ::poll(&p, 1, timeout_ms);
    if (n < 0)
        return errno == EINTR ? 0 : -1;
    if (n == 0)
        return 0;
    // Hang-ups and errors count as ready: the next call reports them.
    return 1;
}

void CloseSocket(int& fd) {
    if (fd >= 0) {
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
        fd = -1;
    }
}

} // namespace korvex::devsim
