// korvex-cli discover: listens for device announcements and prints the
// device list.
#include "cli/Cli.h"
#include "cli/JsonLine.h"
#include "devicelink/DeviceList.h"
#include "devicelink/ScanThread.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <thread>

namespace korvex::cli {
namespace {

std::atomic<bool> stopNow{false};

// {"address": "192.168.0.20", "alias": "Gate 3", "last_seen": "2026-12-07T11:45:02.125Z"}
// The list keeps a steady tick count; the wall-clock time is worked out from
// how long ago that tick was.
std::string EntryJson(const DeviceEntry& entry, uint64_t nowTick_ms,
                      std::chrono::system_clock::time_point nowWall) {
    const uint64_t age_ms = nowTick_ms > entry.lastSeen ? nowTick_ms - entry.lastSeen : 0;
    const auto seen = nowWall - std::chrono::milliseconds(age_ms);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(seen.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char when[96];
    std::snprintf(when, sizeof when, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms % 1000));
    const uint32_t a = entry.address; // first octet in the lowest byte
    const std::string address = std::to_string(a & 0xFF) + "." + std::to_string((a >> 8) & 0xFF) + "." +
                                std::to_string((a >> 16) & 0xFF) + "." + std::to_string(a >> 24);
    return JsonLine({{"address", address}, {"alias", entry.alias}, {"last_seen", when}});
}
extern "C" void OnDiscoverInterrupt(int) {
    stopNow.store(true);
}

int RunDiscover(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: korvex-cli discover [--seconds N] [--port N] [--json]\n"
                    "Listens for device announcements (UDP port 21060) for N seconds (default 5)\n"
                    "and prints one line per device heard: address and alias (control characters\n"
                    "and bytes that are not UTF-8 escaped). With --json each line is an object:\n"
                    "{\"address\": ..., \"alias\": ..., \"last_seen\": UTC time}. When more devices\n"
                    "announce than the list holds, those heard longest ago give way; their number\n"
                    "is reported on standard error.\n");
        return ExitOk;
    }
    unsigned long seconds = 5;
    unsigned long port = ScanThread::DefaultPort;
    bool json = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
            continue;
        }
        unsigned long* target = args[i] == "--seconds" ? &seconds : args[i] == "--port" ? &port : nullptr;
        if (!target)
            return UsageError("unknown option " + args[i]);
        if (i + 1 >= args.size())
            return UsageError(args[i] + " needs a number");
        const std::string& v = args[++i];
        if (v.empty() || v.size() > 6 || v.find_first_not_of("0123456789") != std::string::npos)
            return UsageError(args[i - 1] + " needs a number");
        *target = std::stoul(v);
    }
    if (port == 0 || port > 65535)
        return UsageError("--port needs a number from 1 to 65535");

    DeviceList devices;
    ScanThread scan(devices, static_cast<uint16_t>(port));
    stopNow.store(false);
    std::signal(SIGINT, OnDiscoverInterrupt);
    scan.Start();
    // The listening time starts once the socket is bound (a short wait; a
    // port that cannot be bound ends it after a second).
    const auto bindEnd = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!scan.Listening() && std::chrono::steady_clock::now() < bindEnd && !stopNow.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool bound = scan.Listening();
    while (std::chrono::steady_clock::now() < end && !stopNow.load()) {
        bound = bound || scan.Listening();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    bound = bound || scan.Listening();
    scan.Stop();
    std::signal(SIGINT, SIG_DFL);
    if (!bound) {
        const std::string problem = devices.DiscoveryProblem();
        return Failure(problem.empty() ? "cannot listen on UDP port " + std::to_string(port) : problem);
    }
    // A full list makes room by dropping the devices heard longest ago; say
    // so, since what is printed is then not everything that announced.
    if (const uint64_t dropped = devices.Dropped())
        std::fprintf(stderr,
                     "korvex-cli: the device list was full: %llu entries heard longest ago were dropped\n",
                     static_cast<unsigned long long>(dropped));
    if (json) {
        const auto entries = devices.Entries();
        const uint64_t nowTick = TickCount64Ms();
        const auto nowWall = std::chrono::system_clock::now();
        for (size_t i = 1; i < entries.size(); ++i) // entry 0 is the placeholder
            std::printf("%s\n", EntryJson(entries[i], nowTick, nowWall).c_str());
        return ExitOk;
    }
    const auto lines = devices.Lines();
    for (size_t i = 1; i < lines.size(); ++i) // line 0 is the placeholder
        std::printf("%s\n", lines[i].c_str());
    return ExitOk;
}

} // namespace

KORVEX_CLI_COMMAND("discover", "list the devices that announce themselves", RunDiscover);

} // namespace korvex::cli
