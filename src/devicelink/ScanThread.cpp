#include "devicelink/ScanThread.h"

#include "devicelink/Announcement.h"
#include "framework/Trace.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvex {

ScanThread::ScanThread(DeviceList& list, uint16_t port) : Thread("Scan"), list(list), port(port) {}

ScanThread::~ScanThread() = default;

void ScanThread::Run() {
    int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0)
        return;
    int flags = ::fcntl(sock, F_GETFL, 0);
    if (flags < 0 || ::fcntl(sock, F_SETFL, flags | O_NONBLOCK) < 0) {
        ::close(sock);
        return;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    if (::bind(sock, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        Trace("ScanThread::Run: cannot bind port %u\n", static_cast<unsigned>(port));
        ::close(sock);
        return;
    }
    listening.store(true, std::memory_order_release);

    char buffer[1024]; // 1023 bytes of payload at most
    while (!StopRequested()) {
        sockaddr_in sender{};
        socklen_t senderSize = sizeof sender;
        // One byte more than a datagram may hold, so that a longer one is
        // noticed (MSG_TRUNC reports its real length) and ignored.
        ssize_t n = ::recvfrom(sock, buffer, 1023, MSG_TRUNC, reinterpret_cast<sockaddr*>(&sender), &senderSize);
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
    ::close(sock);
    listening.store(false, std::memory_order_release);
}

} // namespace korvex
