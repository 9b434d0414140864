#include "devsim/ServerPort.h"

#include "devsim/Sockets.h"
#include "framework/Trace.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace korvex::devsim {

ServerPort::~ServerPort() {
    CloseSocket(listener);
}

void ServerPort::Open(uint16_t wanted, uint16_t& bound) {
    listener = ListenTcp(state.options.bindAddress, wanted, bound);
    port = bound;
}

int ServerPort::Accept(const StopEvent& stop, const std::function<void()>& onDown) {
    if (state.DeviceDown()) {
        // Restarting: no port, no connections.
        if (!down) {
            down = true;
            ++state.serversDown;
            CloseSocket(listener);
            if (onDown)
                onDown();
        }
        stop.WaitFor(50);
        return -1;
    }
    if (down) {
        uint16_t bound = 0;
        try {
            listener = ListenTcp(state.options.bindAddress, port, bound);
        } catch (const std::exception& e) {
            Trace("ServerPort::Accept: %s\n", e.what());
            stop.WaitFor(200);
            return -1;
        }
        down = false;
        --state.serversDown;
    }
    if (WaitReady(listener, 100) <= 0)
        return -1;
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    // Answers go out at once, as from a device: small packets held back for
    // an acknowledgement would add 40 ms to every exchange.
    int one = 1;
    if (fd >= 0)
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

} // namespace korvex::devsim
