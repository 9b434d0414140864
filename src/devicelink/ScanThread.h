#pragma once

#include "devicelink/DeviceList.h"
#include "framework/Thread.h"

#include <atomic>
#include <cstdint>

namespace korvex {

// Listens for device announcements (UDP, port 21060 by default) and records
// every sender in the device list. Sends nothing.
class ScanThread : public Thread {
public:
    static constexpr uint16_t DefaultPort = 21060;

    explicit ScanThread(DeviceList& list, uint16_t port = DefaultPort);
    ~ScanThread() override;

    // The device the user selected (network byte order); read by the live
    // stream thread, never by this one.
    std::atomic<uint32_t> targetAddress{0};

    // True once the socket is bound (false when discovery could not start).
    bool Listening() const { return listening.load(std::memory_order_acquire); }

protected:
    void Run() override;

private:
    DeviceList& list;
    uint16_t port;
    std::atomic<bool> listening{false};
};

} // namespace korvex
