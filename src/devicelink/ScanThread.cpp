#include "devicelink/ScanThread.h"

#include "devicelink/Announcement.h"
#include "devicelink/DeviceSinks.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvex {

namespace {

std::string Fill(std::string text, const char* mark, const std::string& value) {
    const size_t at = text.find(mark);
    if (at != std::string::npos)
        text.replace(at, std::strlen(mark), value);
    return text;
}

} // namespace

ScanThread::ScanThread(DeviceList& list, uint16_t port, StatusSink* status, unsigned retry_ms)
    : Thread("Scan"), list(list), port(port), status(status), retry_ms(retry_ms) {}

ScanThread::~ScanThread() = default;

std::string ScanThread::ProblemText(int error) const {
    const std::string number = std::to_string(port);
    if (error == EADDRINUSE)
        return Fill(LoadTextA(text::link_discovery_port_in_use), "%1", number);
    return Fill(Fill(LoadTextA(text::link_discovery_port_failed), "%1", number), "%2", std::strerror(error));
}

int ScanThread::OpenSocket(int& error) const {
    int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (sock < 0) {
        error = errno;
        return -1;
    }
    // Address reuse lets every window on this machine bind the port; each
    // then receives every broadcast announcement. (A datagram sent to this
    // host alone still reaches only one of them: that is the kernel's rule.)
    const int on = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    if (::bind(sock, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        error = errno;
        ::close(sock);
        return -1;
    }
    return sock;
}

void ScanThread::Run() {
    bool reported = false;
    while (!StopRequested()) {
        int error = 0;
        const int sock = OpenSocket(error);
        if (sock >= 0) {
            list.SetDiscoveryProblem("");
            listening.store(true, std::memory_order_release);
            Listen(sock);
            ::close(sock);
            listening.store(false, std::memory_order_release);
            return;
        }
        if (!reported) {
            // Said once; the retries that follow stay quiet until one works.
            const std::string problem = ProblemText(error);
            Trace("ScanThread::Run: cannot bind port %u: %s\n", static_cast<unsigned>(port),
                  std::strerror(error));
            list.SetDiscoveryProblem(problem);
            if (status)
                status->ShowText(problem);
            reported = true;
        }
        if (SleepOrStop(retry_ms))
            return;
    }
}

void ScanThread::Listen(int sock) {
    char buffer[1024]; // 1023 bytes of payload at most
    while (!StopRequested()) {
        sockaddr_in sender{};
        socklen_t senderSize = sizeof sender;
        // One byte more than a datagram may hold, so that a longer one is
        // noticed (MSG_TRUNC reports its real length) and ignored.
        ssize_t n =
            ::recvfrom(sock, buffer, 1023, MSG_TRUNC, reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (n > 0 && n <= 1023) {
            uint32_t address = sender.sin_addr.s_addr; // already network byte order
            Trace("%s: Found %u.%u.%u.%u\n", "ScanThread::Run", address & 255, (address >> 8) & 255,
                  (address >> 16) & 255, address >> 24);
            list.DeviceSeen(address, ParseAnnouncement(buffer, static_cast<size_t>(n)));
        }
        // Wait until readable or 1 s passed, in slices so a stop is seen soon.
        for (int slice = 0; slice < 10 && !StopRequested(); ++slice) {
            pollfd p{sock, POLLIN, 0};
            if (::poll(&p, 1, 100) != 0)
                break;
        }
    }
}

} // namespace korvex
