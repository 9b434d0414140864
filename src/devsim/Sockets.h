#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvex::devsim {

// A listening TCP socket on address:port (port 0 = any free port), with
// address reuse so a restart can listen on the same port again. Throws
// std::runtime_error on failure. `boundPort` receives the port.
int ListenTcp(const std::string& address, uint16_t port, uint16_t& boundPort);

// Waits up to timeout_ms for the descriptor to become readable (or, with
// `write`, writable). 1 = ready, 0 = time-out, -1 = error.
int WaitReady(int fd, int timeout_ms, bool write = false);

void CloseSocket(int& fd);

} // namespace korvex::devsim
