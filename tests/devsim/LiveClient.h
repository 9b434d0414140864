#pragma once

// A minimal live-stream client for tests against the simulator's live server.

#include <arpa/inet.h>
#include <cstdint>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace devsimtest {

inline uint32_t U32(const std::string& b, size_t at) {
    return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8 | uint8_t(b[at + 2]) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}
inline uint16_t U16(const std::string& b, size_t at) {
    return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

struct Message {
    std::string header; // headerLength bytes
    std::string payload;
    uint32_t HeaderLength() const { return U32(header, 0); }
    uint32_t FrameNumber() const { return U32(header, 4); }
    uint8_t Kind() const { return uint8_t(header[8]); }
    uint8_t Camera() const { return uint8_t(header[9]); }
    uint16_t X() const { return U16(header, 16); }
    uint16_t Y() const { return U16(header, 18); }
    uint16_t Width() const { return U16(header, 20); }
    uint16_t Height() const { return U16(header, 22); }
    uint8_t Format() const { return uint8_t(header[24]); }
    uint8_t Flags() const { return uint8_t(header[25]); }
    uint8_t Detector() const { return uint8_t(header[36]); }
};

class LiveClient {
public:
    explicit LiveClient(uint16_t port) {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(port);
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = connect(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
    }
    ~LiveClient() { close(fd); }

    // Reads n bytes; false on close or after timeout_ms without data.
    bool Read(std::string& into, size_t n, int timeout_ms = 5000) {
        into.resize(n);
        size_t got = 0;
        while (got < n) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, timeout_ms) <= 0)
                return false;
            ssize_t r = recv(fd, into.data() + got, n - got, 0);
            if (r <= 0)
                return false;
            got += size_t(r);
        }
        return true;
    }

    // Reads one well-formed message (header length at least 64).
    bool ReadMessage(Message& m) {
        if (!Read(m.header, 16))
            return false;
        uint32_t headerLength = U32(m.header, 0);
        if (headerLength < 64 || headerLength > 4096)
            return true; // caller inspects the short header
        std::string rest;
        if (!Read(rest, headerLength - 16))
            return false;
        m.header += rest;
        return Read(m.payload, U32(m.header, 12));
    }

    void Reply(const Message& m, uint8_t options = 0x10, uint8_t tuningCamera = 0, uint8_t tuningDetector = 0,
               uint32_t mask = 0) {
        std::string r(64, '\0');
        r[0] = 64;
        for (int i = 0; i < 4; ++i)
            r[4 + i] = char((m.FrameNumber() >> (8 * i)) & 0xFF);
        r[9] = char(m.Camera());
        r[16] = char(options);
        r[17] = char(mask & 0xFF);
        r[18] = char(tuningDetector);
        r[19] = char(tuningCamera);
        r[20] = char((mask >> 8) & 0xFF);
        r[21] = char((mask >> 16) & 0xFF);
        send(fd, r.data(), r.size(), MSG_NOSIGNAL);
    }

    // Next message, answered with a plain reply.
    Message Next() {
        Message m;
        EXPECT_TRUE(ReadMessage(m));
        if (m.header.size() >= 64)
            Reply(m);
        return m;
    }

    bool Closed(int timeout_ms) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0)
            return false;
        char c;
        return recv(fd, &c, 1, MSG_PEEK) == 0;
    }

    int fd = -1;
    bool connected = false;
};

} // namespace devsimtest
