#pragma once

// Checks of the device's own network settings before they are written. A
// device given an address it cannot use, or a netmask that is no netmask,
// can no longer be reached to put it right, so such settings are refused
// before anything is sent. The network dialog, the command-line tool and the
// session's write job all use these checks.

#include <cstdint>
#include <string>

namespace korvex {

struct NetworkCheck {
    // The settings must not be written; the text says why. Empty when they
    // may be.
    std::string error;
    // The settings may be written only after the user has confirmed them
    // (the dialog asks; the command-line tool wants --force). Empty when
    // nothing needs confirming.
    std::string warning;

    bool Refused() const { return !error.empty(); }
};

// Host-order values (first octet in the top byte).
//  - refused: a device address of 0.0.0.0, a loopback, multicast or
//    reserved one (255.255.255.255 among them), or the network's own or
//    broadcast address under the netmask;
//  - refused: a netmask that is not a run of ones followed by zeros, or
//    has no ones at all;
//  - refused: a loopback, multicast or reserved gateway;
//  - to be confirmed: a gateway outside the device's network (0.0.0.0, the
//    gateway of a device that has none, among them).
NetworkCheck ValidateNetworkSettings(uint32_t address, uint32_t netmask, uint32_t gateway);

// Whether `netmask` is a run of ones from the top followed by zeros (with at
// least one one).
bool IsContiguousNetmask(uint32_t netmask);

} // namespace korvex
