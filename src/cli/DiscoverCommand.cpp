// korvex-cli discover: listens for device announcements and prints the
// device list.
#include "cli/Cli.h"

#include "devicelink/DeviceList.h"
#include "devicelink/ScanThread.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

namespace korvex::cli {
namespace {

std::atomic<bool> stopNow{false};
extern "C" void OnDiscoverInterrupt(int) { stopNow.store(true); }

int RunDiscover(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: korvex-cli discover [--seconds N] [--port N]\n"
                    "Listens for device announcements (UDP port 21060) for N seconds (default 5)\n"
                    "and prints one line per device heard: address and alias.\n");
        return ExitOk;
    }
    unsigned long seconds = 5;
    unsigned long port = ScanThread::DefaultPort;
    for (size_t i = 0; i < args.size(); ++i) {
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
    if (!bound)
        return Failure("cannot listen on UDP port " + std::to_string(port));
    const auto lines = devices.Lines();
    for (size_t i = 1; i < lines.size(); ++i) // line 0 is the placeholder
        std::printf("%s\n", lines[i].c_str());
    return ExitOk;
}

} // namespace

KORVEX_CLI_COMMAND("discover", "list the devices that announce themselves", RunDiscover);

} // namespace korvex::cli
