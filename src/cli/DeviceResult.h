#pragma once

// What a korvex-cli device command gives back, as a value: printed as lines
// for one device, and as the "result" of a device's JSON line in a fleet.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace korvex::cli::device {

// The network settings as network-show gives them: addresses as text,
// "missing" for a value the device holds unreadably.
struct NetworkPrintout {
    std::string ipaddr, netmask, gateway;
    std::string hwaddr;
    std::string controller;           // an address, "none" or "missing"
    std::vector<std::string> cameras; // one per camera row: ADDR[?channel=N], "none" or "missing"
    std::string pass;
};

// A status text (possibly several lines).
struct TextResult {
    std::string text;
};

// One line per entry (a recordings listing).
struct LinesResult {
    std::vector<std::string> lines;
};

using ResultValue = std::variant<std::monostate, TextResult, LinesResult, NetworkPrintout>;

// The value as korvex-cli prints it for one device ("" for none).
std::string ResultText(const ResultValue& value);

// The value as the "result" of a fleet line: a text is a string (an array
// when it has several lines), a listing an array, the network settings an
// object whose values are numbers when they are plain decimal numbers;
// null for none.
std::string ResultJson(const ResultValue& value);

} // namespace korvex::cli::device
