#include "devicelink/NetworkSettings.h"

#include "devicelink/DeviceTexts.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <vector>

namespace korvex {

namespace {

// "%1", "%2", ... of a string-table text replaced by `values`.
std::string Format(unsigned id, const std::vector<std::string>& values) {
    std::string text = LoadTextA(id);
    for (size_t i = values.size(); i-- > 0;) {
        const std::string mark = "%" + std::to_string(i + 1);
        const size_t at = text.find(mark);
        if (at != std::string::npos)
            text.replace(at, mark.size(), values[i]);
    }
    return text;
}

// 0.0.0.0/8 ("this network"), 127.0.0.0/8 (loopback), 224.0.0.0/4
// (multicast) and 240.0.0.0/4 (reserved, with the broadcast address
// 255.255.255.255): none of them can be a device's or a router's address.
bool Unusable(uint32_t address) {
    const uint32_t first = address >> 24;
    return first == 0 || first == 127 || first >= 224;
}

} // namespace

bool IsContiguousNetmask(uint32_t netmask) {
    // Ones from the top then zeros: the inverse plus one is a power of two.
    const uint32_t hostBits = ~netmask;
    return netmask != 0 && (hostBits & (hostBits + 1)) == 0;
}

NetworkCheck ValidateNetworkSettings(uint32_t address, uint32_t netmask, uint32_t gateway) {
    NetworkCheck check;
    const std::string addressText = HostAddressText(address);
    const std::string netmaskText = HostAddressText(netmask);
    const std::string gatewayText = HostAddressText(gateway);
    if (Unusable(address)) {
        check.error = Format(text::link_bad_address, {addressText});
        return check;
    }
    if (!IsContiguousNetmask(netmask)) {
        check.error = Format(text::link_bad_netmask, {netmaskText});
        return check;
    }
    // Under a /31 or /32 netmask there is no network or broadcast address.
    const uint32_t hostBits = ~netmask;
    if (hostBits > 1 && ((address & hostBits) == 0 || (address & hostBits) == hostBits)) {
        check.error = Format(text::link_network_or_broadcast, {addressText, netmaskText});
        return check;
    }
    if (gateway != 0 && Unusable(gateway)) {
        check.error = Format(text::link_bad_gateway, {gatewayText});
        return check;
    }
    if ((gateway & netmask) != (address & netmask))
        check.warning = Format(text::link_gateway_outside, {gatewayText, addressText, netmaskText});
    return check;
}

} // namespace korvex
