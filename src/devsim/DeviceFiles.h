#pragma once

// The device's file tree inside the simulator's root folder.

#include "devsim/DeviceSimulator.h"

#include <string>

namespace korvex::devsim {

// Maps an absolute device path into the root folder. Only /tavo,
// /etc/tavo and /mnt/usbdrive (and what lies below them) exist; "." and
// ".." are resolved first, so nothing outside them can be reached. Returns
// an empty text for any other path.
std::string MapDevicePath(const std::string& rootDir, const std::string& devicePath);

// Creates the root folder and every missing default file: settings,
// controller, camera files, pass text, factory record, program file and a
// small recordings tree. Existing files are left as they are.
void PrepareRoot(const Options& options);

// Network settings kept by "/tavo/ipconfig".
struct NetworkSettings {
    std::string proto = "static";
    std::string ipaddr = "192.168.0.20";
    std::string netmask = "255.255.255.0";
    std::string gateway = "192.168.0.1";
};
NetworkSettings ReadNetworkSettings(const std::string& rootDir);
void WriteNetworkSettings(const std::string& rootDir, const NetworkSettings& settings);

// Whole-file helpers; ReadFile returns false when the file cannot be read.
bool ReadFile(const std::string& path, std::string& content);
void WriteFileAtomically(const std::string& path, const std::string& content);

} // namespace korvex::devsim
