#include "devicelink/ServerGreeting.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace korvex {

namespace {

// The longest single poll, so that a stop request is seen within it.
constexpr int kWaitSlice_ms = 100;

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

bool SshServerAnswers(uint32_t networkAddress, uint16_t port, unsigned timeout_ms, const StopEvent& stop) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = networkAddress;
    remote.sin_port = htons(port);
    const int64_t deadline = SteadyMs() + timeout_ms;
    bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0;
    bool failed = !connected && errno != EINPROGRESS;
    std::string banner;
    // Connected once writable; answering once "SSH-" has arrived.
    while (!failed && banner.size() < 4 && !stop.IsSet()) {
        const int64_t now = SteadyMs();
        if (now >= deadline)
            break;
        pollfd p{fd, static_cast<short>(connected ? POLLIN : POLLOUT), 0};
        const int rc = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(kWaitSlice_ms, deadline - now)));
        if (rc < 0 && errno != EINTR)
            failed = true;
        if (rc <= 0)
            continue;
        if (!connected) {
            int code = 0;
            socklen_t size = sizeof code;
            connected = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &size) == 0 && code == 0;
            failed = !connected;
            continue;
        }
        char bytes[4];
        const ssize_t n = ::recv(fd, bytes, 4 - banner.size(), 0);
        if (n <= 0)
            failed = n == 0 || (errno != EAGAIN && errno != EINTR);
        else
            banner.append(bytes, static_cast<size_t>(n));
    }
    ::close(fd);
    return banner == "SSH-";
}

} // namespace korvex
