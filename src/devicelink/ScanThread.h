#pragma once

#include "devicelink/DeviceList.h"
#include "framework/Thread.h"

#include <atomic>
#include <cstdint>

namespace korvex {

class StatusSink;

// Listens for device announcements (UDP, port 21060 by default) and records
// every sender in the device list. Sends nothing.
//
// Every Korvex on a machine listens on the same port, so the socket is bound
// with address reuse: broadcast announcements reach each of them. When the
// port still cannot be bound (a program holds it exclusively), the device
// list's first line and the status bar say so, and the thread tries again
// every few seconds until it can listen or is stopped.
class ScanThread : public Thread {
public:
    static constexpr uint16_t DefaultPort = 21060;
    static constexpr unsigned DefaultRetry_ms = 3000;

    // `status`, when given, shows the reason once each time discovery stops
    // being able to listen.
    explicit ScanThread(DeviceList& list, uint16_t port = DefaultPort, StatusSink* status = nullptr,
                        unsigned retry_ms = DefaultRetry_ms);
    ~ScanThread() override;

    // The device the user selected (network byte order); read by the live
    // stream thread, never by this one.
    std::atomic<uint32_t> targetAddress{0};

    // True while the socket is bound.
    bool Listening() const { return listening.load(std::memory_order_acquire); }

protected:
    void Run() override;

private:
    // A bound, non-blocking socket, or -1 with `error` set (errno).
    int OpenSocket(int& error) const;
    void Listen(int sock);
    std::string ProblemText(int error) const;

    DeviceList& list;
    uint16_t port;
    StatusSink* status;
    unsigned retry_ms;
    std::atomic<bool> listening{false};
};

} // namespace korvex
