#pragma once

#include "support/LoopbackListener.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace korvex::test {

// Forwards one loopback connection at a time to `targetPort` and keeps a
// copy of every byte the server sent, so a test can read the stream itself.
class RecordingProxy {
public:
    explicit RecordingProxy(uint16_t targetPort) : targetPort(targetPort) {
        listener = ListenOnLoopback(port, 2);
        thread = std::thread([this] { Loop(); });
    }
    ~RecordingProxy() {
        stop = true;
        thread.join();
        close(listener);
    }
    uint16_t Port() const { return port; }
    std::vector<uint8_t> Received() const {
        std::lock_guard<std::mutex> g(lock);
        return received;
    }

private:
    void Loop() {
        while (!stop) {
            pollfd p{listener, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            const int client = accept(listener, nullptr, nullptr);
            if (client < 0)
                continue;
            const int server = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(targetPort);
            if (connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
                Pump(client, server);
            close(server);
            close(client);
        }
    }
    void Pump(int client, int server) {
        uint8_t buffer[65536];
        while (!stop) {
            pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (poll(p, 2, 50) <= 0)
                continue;
            for (int i = 0; i < 2; ++i) {
                if ((p[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                    continue;
                const ssize_t n = recv(p[i].fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    return;
                if (i == 1) {
                    std::lock_guard<std::mutex> g(lock);
                    received.insert(received.end(), buffer, buffer + n);
                }
                const int to = i == 0 ? server : client;
                for (ssize_t sent = 0; sent < n;) {
                    const ssize_t r = send(to, buffer + sent, size_t(n - sent), MSG_NOSIGNAL);
                    if (r <= 0)
                        return;
                    sent += r;
                }
            }
        }
    }

    uint16_t targetPort;
    int listener = -1;
    uint16_t port = 0;
    std::atomic<bool> stop{false};
    mutable std::mutex lock;
    std::vector<uint8_t> received;
    std::thread thread;
};

} // namespace korvex::test
