#pragma once

// Ports on loopback that nothing is bound to at the moment of the call.
#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvex::test {

// `type`: SOCK_DGRAM or SOCK_STREAM.
inline uint16_t FreePort(int type) {
    int s = ::socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(s);
    return ntohs(a.sin_port);
}

inline uint16_t FreeUdpPort() {
    return FreePort(SOCK_DGRAM);
}

// Nobody listens there after the call, so it also serves as a port that
// refuses connections.
inline uint16_t FreeTcpPort() {
    return FreePort(SOCK_STREAM);
}

} // namespace korvex::test
