#pragma once

// What the device windows ask of the device session. The windows never see
// the session thread: the frame hands them this interface, whose
// implementation (sinks/) posts the session's own requests, only while no
// job is pending, and delivers what the jobs show to the attached dialogs.

#include "devicelink/DeviceRequests.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

class RecordingsDialog;
class NetworkDialog;

class DeviceJobs {
public:
    virtual ~DeviceJobs() = default;

    virtual bool Connected() const = 0;
    virtual bool Busy() const = 0; // a job is pending

    // Posts `request`; false (nothing changed) while a job is pending, and
    // while not connected for every request but connect, disconnect and the
    // network read. What the job read reaches the attached dialog as a value.
    virtual bool Post(DeviceRequest request) = 0;
    // The connect job again with the request of the last one (after the
    // user has confirmed or removed a device key).
    virtual bool RepostConnect() = 0;
    // Of the last connect request (the password also of the last change).
    virtual std::string UserName() const = 0;
    virtual bool PasswordIs(const std::string& password) const = 0;
    // Camera rows the last read found in use (0..4); valid while idle.
    virtual uint32_t NetworkCameraRows() const = 0;
    // "%u.%u.%u.%u" of the device of the session ("" before any connect).
    virtual std::string DeviceAddressText() const = 0;

    // The open dialog the session's results reach; a dialog detaches
    // before it goes away (null detaches).
    virtual void AttachRecordings(RecordingsDialog* dialog) = 0;
    virtual void AttachNetwork(NetworkDialog* dialog) = 0;
};

} // namespace korvex
