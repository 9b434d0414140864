#pragma once

#include "support/LoopbackListener.h"

#include <arpa/inet.h>
#include <atomic>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace korvex::test {

// A tiny live-stream server on a free loopback port: each accepted
// connection is handed to `serve` on the server thread, one at a time.
class FakeLiveServer {
public:
    using Serve = std::function<void(int fd, unsigned connection)>;

    explicit FakeLiveServer(Serve serve) : serve(std::move(serve)) {
        listener = ListenOnLoopback(port, 4);
        thread = std::thread([this] { Loop(); });
    }
    ~FakeLiveServer() {
        stop = true;
        thread.join();
        close(listener);
    }

    uint16_t Port() const { return port; }
    unsigned Accepted() const { return accepted.load(); }
    bool Stopping() const { return stop.load(); }

    // Reads exactly n bytes within `timeout_ms`; false otherwise.
    bool Read(int fd, uint8_t* buffer, size_t n, int timeout_ms = 5000) const {
        size_t got = 0;
        while (got < n) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, timeout_ms) <= 0)
                return false;
            const ssize_t r = recv(fd, buffer + got, n - got, 0);
            if (r <= 0)
                return false;
            got += size_t(r);
        }
        return true;
    }
    static bool Write(int fd, const std::vector<uint8_t>& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t r = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (r <= 0)
                return false;
            sent += size_t(r);
        }
        return true;
    }
    // True when the peer closed within `timeout_ms`.
    static bool WaitClosed(int fd, int timeout_ms) {
        uint8_t b[256];
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, timeout_ms) <= 0)
                return false;
            const ssize_t r = recv(fd, b, sizeof b, 0);
            if (r <= 0)
                return true;
        }
    }

private:
    void Loop() {
        while (!stop) {
            pollfd p{listener, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            const int fd = accept(listener, nullptr, nullptr);
            if (fd < 0)
                continue;
            const unsigned n = accepted.fetch_add(1);
            serve(fd, n);
            close(fd);
        }
    }

    Serve serve;
    int listener = -1;
    uint16_t port = 0;
    std::atomic<bool> stop{false};
    std::atomic<unsigned> accepted{0};
    std::thread thread;
};

} // namespace korvex::test
