#include "devsim/DeviceFiles.h"

#include "files/ProjectFile.h"
#include "framework/AtomicFile.h"
#include "framework/BinaryFile.h"
#include "framework/TextSplit.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace korvex::devsim {

namespace {

const char* const kMappedFolders[] = {"/tavo", "/etc/tavo", "/mnt/usbdrive"};

// Splits an absolute path into its parts, resolving "." and "..". Returns
// false when ".." would climb above the top.
bool NormalisedParts(const std::string& path, std::vector<std::string>& parts) {
    parts.clear();
    for (std::string_view part : SplitAt(path, '/')) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (parts.empty())
                return false;
            parts.pop_back();
            continue;
        }
        parts.emplace_back(part);
    }
    return true;
}

void WriteIfMissing(const fs::path& path, const std::string& content) {
    if (fs::exists(path))
        return;
    fs::create_directories(path.parent_path());
    WriteFileAtomically(path.string(), content);
}

void AppendChunk(std::string& out, uint32_t type, const std::string& payload) {
    uint32_t length = uint32_t(payload.size() + 8);
    for (uint32_t v : {type, length})
        for (int b = 0; b < 4; ++b)
            out.push_back(char((v >> (8 * b)) & 0xFF));
    out += payload;
}

std::string U32(uint32_t v) {
    std::string s;
    for (int b = 0; b < 4; ++b)
        s.push_back(char((v >> (8 * b)) & 0xFF));
    return s;
}

// A small but well-formed program file: an empty 320 x 240 state, no
// composer items, and the package with its config and compose texts.
std::string DefaultProgram(const std::string& alias) {
    std::string state;
    AppendChunk(state, 16, U32(320) + U32(240));
    std::string package;
    auto entry = [&](const std::string& name, const std::string& content) {
        std::string body;
        AppendChunk(body, 13, name);
        AppendChunk(body, 14, content);
        AppendChunk(package, 12, body);
    };
    entry("config.txt", "alias = " + alias + "\ncompose_script = compose.txt\ndet_count = 0\n");
    entry("compose.txt", "");
    std::string file;
    AppendChunk(file, 2, state);
    AppendChunk(file, 7, "");
    AppendChunk(file, 11, package);
    return file;
}

// The program the device runs: the project whose scenes it plays (the bytes
// an upload of that project sends), else an empty program.
std::string ProgramOf(const Options& options) {
    if (options.scenesState) {
        try {
            const std::vector<uint8_t> bytes = ProjectFileBytes(*options.scenesState, options.scenesProject);
            return std::string(bytes.begin(), bytes.end());
        } catch (const std::exception&) {
            // A project that cannot be saved (its package does not build)
            // is played, but the device keeps an empty program.
            return DefaultProgram(options.alias);
        }
    }
    std::string file;
    if (!options.scenesProject.empty() && ReadFile(options.scenesProject, file))
        return file;
    return DefaultProgram(options.alias);
}

std::string Varint(uint64_t v) {
    std::string s;
    do {
        uint8_t byte = v & 0x7F;
        v >>= 7;
        if (v)
            byte |= 0x80;
        s.push_back(char(byte));
    } while (v);
    return s;
}

} // namespace

std::string MapDevicePath(const std::string& rootDir, const std::string& devicePath) {
    if (devicePath.empty() || devicePath[0] != '/' || devicePath.find('\0') != std::string::npos)
        return {};
    std::vector<std::string> parts;
    if (!NormalisedParts(devicePath, parts))
        return {};
    std::string joined;
    for (const auto& p : parts)
        joined += "/" + p;
    for (const char* top : kMappedFolders) {
        std::string t = top;
        if (joined == t || joined.compare(0, t.size() + 1, t + "/") == 0)
            return rootDir + joined;
    }
    return {};
}

bool ReadFile(const std::string& path, std::string& content) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad())
        return false;
    content = buffer.str();
    return true;
}

void WriteFileAtomically(const std::string& path, const std::string& content) {
    AtomicFile file(path);
    file.Write(content.data(), content.size());
    file.Commit();
}

NetworkSettings ReadNetworkSettings(const std::string& rootDir) {
    NetworkSettings settings;
    std::string text;
    if (!ReadFile(rootDir + "/etc/tavo/network.conf", text))
        return settings;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        auto trim = [](std::string s) {
            size_t a = s.find_first_not_of(" \t\r");
            size_t b = s.find_last_not_of(" \t\r");
            return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
        };
        std::string key = trim(line.substr(0, eq));
        std::string value = trim(line.substr(eq + 1));
        if (key == "proto")
            settings.proto = value;
        else if (key == "ipaddr")
            settings.ipaddr = value;
        else if (key == "netmask")
            settings.netmask = value;
        else if (key == "gateway")
            settings.gateway = value;
    }
    return settings;
}

void WriteNetworkSettings(const std::string& rootDir, const NetworkSettings& s) {
    fs::create_directories(rootDir + "/etc/tavo");
    WriteFileAtomically(rootDir + "/etc/tavo/network.conf", "proto = " + s.proto + "\nipaddr = " + s.ipaddr +
                                                                "\nnetmask = " + s.netmask +
                                                                "\ngateway = " + s.gateway + "\n");
}

void PrepareRoot(const Options& options) {
    if (options.rootDir.empty())
        throw std::runtime_error("devsim: no root folder given");
    const fs::path root = options.rootDir;
    fs::create_directories(root / "tavo");
    fs::create_directories(root / "etc/tavo/factory");
    fs::create_directories(root / "mnt/usbdrive");

    if (!fs::exists(root / "etc/tavo/network.conf"))
        WriteNetworkSettings(options.rootDir, NetworkSettings{});
    WriteIfMissing(root / "tavo/controller", "255.255.255.255\n");
    WriteIfMissing(root / "tavo/pass", "gate 1 pass\n");

    int factory = options.factoryCameraCount >= 0 ? options.factoryCameraCount : int(options.cameraCount);
    std::string record = "\x08" + Varint(uint64_t(uint32_t(factory)));
    WriteIfMissing(root / "etc/tavo/factory/config.pb", record);

    // Camera files: every camera the device streams has an address (the
    // second one with a channel), and at least the first two; the rest are
    // empty, as on a device with unused rows.
    const int addressed = std::max(2, int(options.cameraCount));
    for (int i = 0; i < std::max(factory, 1) && i < 8; ++i) {
        std::string content;
        if (i == 1)
            content = "192.168.0.102?channel=2\n";
        else if (i < addressed)
            content = "192.168.0." + std::to_string(101 + i) + "\n";
        WriteIfMissing(root / ("tavo/cam" + std::to_string(i)), content);
    }
    WriteIfMissing(root / "etc/tavo/program.tdv", ProgramOf(options));

    // Recordings: camN/<day>/<hour>/*.mp4, plus entries the browser must skip.
    if (!fs::exists(root / "mnt/usbdrive/cam1")) {
        const char* days[] = {"2026-12-06", "2026-12-07"};
        const char* hours[] = {"08", "09"};
        for (unsigned cam = 1; cam <= 2; ++cam)
            for (const char* day : days)
                for (const char* hour : hours)
                    for (unsigned minute : {0u, 15u}) {
                        char name[64];
                        std::snprintf(name, sizeof name, "%s-%02u-00.mp4", hour, minute);
                        fs::path file =
                            root / "mnt/usbdrive" / ("cam" + std::to_string(cam)) / day / hour / name;
                        // Small files whose bytes name them, so a copy can be checked.
                        std::string content = "recording cam" + std::to_string(cam) + "/" + day + "/" + hour +
                                              "/" + name + "\n" +
                                              std::string(2000 + minute * 10, char('a' + cam));
                        WriteIfMissing(file, content);
                    }
        WriteIfMissing(root / "mnt/usbdrive/cam1/2026-12-07/08/index.txt", "not a recording\n");
        WriteIfMissing(root / "mnt/usbdrive/readme.txt", "USB drive of the simulated device\n");
        fs::create_directories(root / "mnt/usbdrive/lost+found");
    }
}

} // namespace korvex::devsim
