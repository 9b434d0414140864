// korvex-devsim: runs the device simulator until Ctrl-C.

#include "devsim/DeviceShell.h"
#include "devsim/DeviceSimulator.h"

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnSignal(int) {
    stopRequested = 1;
}

const char* const kHelp =
    "Usage: korvex-devsim [options]\n"
    "Simulates a detection device on this machine: UDP announcements, the live\n"
    "picture stream and an SSH server with the device's commands and files.\n"
    "Stops cleanly on Ctrl-C.\n"
    "\n"
    "  --root DIR            folder holding the device's files (/tavo, /etc/tavo,\n"
    "                        /mnt/usbdrive); filled with defaults on first start\n"
    "                        (default: ./devsim-root)\n"
    "  --alias NAME          device name sent in the announcements (default devsim)\n"
    "  --listen ADDR         address the servers listen on (default 127.0.0.1)\n"
    "  --ssh-port N          SSH server port (default 2222; 0 = any free port)\n"
    "  --live-port N         live stream port (default 25100; 0 = any free port)\n"
    "  --announce-to ADDR    where announcements go (default 127.0.0.1)\n"
    "  --announce-port N     their UDP port (default 21060)\n"
    "  --no-announce         send no announcements\n"
    "  --cameras N           cameras on the live stream, 1 to 8 (default 1)\n"
    "  --format F[,F...]     format of each camera: grey180, grey320, colour320,\n"
    "                        blank or h264 (default grey320; the last one given\n"
    "                        also serves the cameras after it)\n"
    "  --fps N               picture rounds per second, 1 to 60 (default 5)\n"
    "  --key-interval N      H.264: a key frame every N units (default 10)\n"
    "  --blur-every N        flag every N-th picture as blurred (default 0 = never)\n"
    "  --factory-cameras N   camera number in the factory record (default: --cameras)\n"
    "  --scenes PROJECT.kvx  cameras show the backgrounds of the project's cards with\n"
    "                        traffic moving over them, traces measure its detectors,\n"
    "                        recordings are clips of the scenes (default: test pictures)\n"
    "  --scene-seed N        chooses the traffic (default 1)\n"
    "  --shift CAMERA:DX,DY  camera 1 to 8 starts moved by DX,DY pixels (repeatable)\n"
    "  --user U              SSH user name (default admin)\n"
    "  --password P          SSH password (default admin)\n"
    "  --version-text T      output of \"/tavo/tavo --version\" (default \"tavo 2.1.0\")\n"
    "  --clock-offset S      device clock minus real UTC time, seconds (default 0)\n"
    "  --restart-seconds S   how long a restart keeps the device away (default 5)\n"
    "  --host-key FILE       SSH host key file (default: generated into the root)\n"
    "\n"
    "Faults, for trying how a client copes:\n"
    "  --quiet-commands MS   commands say nothing for MS milliseconds, then answer\n"
    "  --fail-command TEXT   a command beginning with TEXT fails instead of running,\n"
    "                        with --fail-status N (default 1) and --fail-text T on\n"
    "                        its standard error\n"
    "  --hide-setting KEY    \"/tavo/ipconfig --show\" leaves KEY out (repeatable)\n"
    "  --cut-upload N        an incoming SCP copy breaks off after N bytes\n"
    "  --locked-folder DIR   device folder DIR (such as /etc/tavo) takes no new files;\n"
    "                        files there can be written in place (repeatable)\n"
    "  --live-fault F        endless-payload (a message of an unknown kind that never\n"
    "                        ends) or endless-header (a picture header of 4 GiB),\n"
    "                        struck once per live connection after --live-fault-after\n"
    "                        N messages (default 0)\n"
    "  --help                this text\n"
    "\n"
    "As a login shell (for a real SSH server): korvex-devsim --root DIR -c COMMAND\n"
    "runs one device command on DIR over standard input and output.\n";

unsigned long Number(const char* option, const char* text, unsigned long max, unsigned long min = 0) {
    char* end = nullptr;
    errno = 0;
    unsigned long v = std::strtoul(text, &end, 10);
    if (!*text || *end || errno || v > max || v < min || text[0] == '-')
        throw std::invalid_argument(std::string(option) + ": '" + text + "' is not a number from " +
                                    std::to_string(min) + " to " + std::to_string(max));
    return v;
}

// "CAMERA:DX,DY": camera 1 to 8, moves of -40 to 40 pixels.
korvex::devsim::Options::Shift ParseShift(const std::string& text) {
    const size_t colon = text.find(':'), comma = text.find(',', colon == std::string::npos ? 0 : colon);
    auto move = [&](const std::string& part) {
        char* end = nullptr;
        errno = 0;
        long v = std::strtol(part.c_str(), &end, 10);
        if (part.empty() || *end || errno || v < -40 || v > 40)
            throw std::invalid_argument("--shift: '" + text + "' is not CAMERA:DX,DY (moves -40 to 40)");
        return int(v);
    };
    if (colon == std::string::npos || comma == std::string::npos)
        throw std::invalid_argument("--shift: '" + text + "' is not CAMERA:DX,DY");
    korvex::devsim::Options::Shift shift;
    shift.camera = unsigned(Number("--shift", text.substr(0, colon).c_str(), 8, 1)) - 1;
    shift.dx = move(text.substr(colon + 1, comma - colon - 1));
    shift.dy = move(text.substr(comma + 1));
    return shift;
}

} // namespace

namespace {

using namespace korvex::devsim;

// What the command line asks for.
struct CommandLine {
    Options options;
    std::vector<CameraFormat> formats;
    bool shell = false;
    std::string shellCommand;
};

void AddFormats(std::vector<CameraFormat>& formats, const std::string& list) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        formats.push_back(ParseCameraFormat(list.substr(start, comma - start)));
        start = comma + 1;
    }
}

long long ClockOffset(const char* v) {
    char* end = nullptr;
    const long long s = std::strtoll(v, &end, 10);
    if (!*v || *end)
        throw std::invalid_argument(std::string("--clock-offset: '") + v + "' is not a number");
    return s;
}

// The device's addresses, identity and pictures; false for another option.
bool ApplyDeviceOption(CommandLine& line, const std::string& a, const char* v) {
    Options& o = line.options;
    if (a == "-c") {
        line.shell = true;
        line.shellCommand = v;
    } else if (a == "--root")
        o.rootDir = v;
    else if (a == "--alias")
        o.alias = v;
    else if (a == "--listen")
        o.bindAddress = v;
    else if (a == "--ssh-port")
        o.sshPort = uint16_t(Number("--ssh-port", v, 65535));
    else if (a == "--live-port")
        o.livePort = uint16_t(Number("--live-port", v, 65535));
    else if (a == "--announce-to")
        o.announceAddress = v;
    else if (a == "--announce-port")
        o.announcePort = uint16_t(Number("--announce-port", v, 65535));
    else if (a == "--cameras")
        o.cameraCount = unsigned(Number("--cameras", v, 8, 1));
    else if (a == "--format")
        AddFormats(line.formats, v);
    else if (a == "--fps")
        o.fps = unsigned(Number("--fps", v, 60, 1));
    else if (a == "--key-interval")
        o.keyFrameInterval = unsigned(Number("--key-interval", v, 1000, 1));
    else if (a == "--blur-every")
        o.blurEvery = unsigned(Number("--blur-every", v, 1000000));
    else if (a == "--factory-cameras")
        o.factoryCameraCount = int(Number("--factory-cameras", v, 1000));
    else if (a == "--scenes")
        o.scenesProject = v;
    else if (a == "--scene-seed")
        o.sceneSeed = uint32_t(Number("--scene-seed", v, 0xFFFFFFFFul));
    else if (a == "--shift")
        o.shifts.push_back(ParseShift(v));
    else if (a == "--user")
        o.user = v;
    else if (a == "--password")
        o.password = v;
    else if (a == "--version-text")
        o.version = v;
    else if (a == "--clock-offset")
        o.clockOffset_s = ClockOffset(v);
    else if (a == "--restart-seconds")
        o.restartSeconds = unsigned(Number("--restart-seconds", v, 3600));
    else if (a == "--host-key")
        o.hostKeyFile = v;
    else
        return false;
    return true;
}

// The faults a test can ask the device to show; false for another option.
bool ApplyFaultOption(Options& o, const std::string& a, const char* v) {
    if (a == "--quiet-commands")
        o.faults.quietCommands_ms = unsigned(Number("--quiet-commands", v, 3600000));
    else if (a == "--fail-command")
        o.faults.failCommand = v;
    else if (a == "--fail-status")
        o.faults.failStatus = int(Number("--fail-status", v, 255, 1));
    else if (a == "--fail-text")
        o.faults.failText = std::string(v) + "\n";
    else if (a == "--locked-folder")
        o.faults.lockedFolders.push_back(v);
    else if (a == "--cut-upload")
        o.faults.cutUploadAfter = Number("--cut-upload", v, 1ul << 30, 1);
    else if (a == "--hide-setting")
        o.faults.hiddenSettings.push_back(v);
    else if (a == "--live-fault") {
        const std::string fault = v;
        if (fault == "endless-payload")
            o.faults.liveFault = LiveFault::EndlessPayload;
        else if (fault == "endless-header")
            o.faults.liveFault = LiveFault::EndlessHeader;
        else
            throw std::invalid_argument("--live-fault: '" + fault +
                                        "' is not endless-payload or endless-header");
    } else if (a == "--live-fault-after")
        o.faults.liveFaultAfter = uint32_t(Number("--live-fault-after", v, 1000000));
    else
        return false;
    return true;
}

// Runs the device until SIGINT or SIGTERM.
int Serve(Options& options) {
    // The H.264 encoder's statistics lines are not wanted on the console.
    av_log_set_level(AV_LOG_ERROR);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);

    DeviceSimulator device(options);
    device.Start();
    std::printf("korvex-devsim: alias %s, SSH on %s:%u (user %s), live stream on %s:%u, "
                "announcements to %s:%u, root %s\n",
                options.alias.c_str(), options.bindAddress.c_str(), device.SshPort(), options.user.c_str(),
                options.bindAddress.c_str(), device.LivePort(),
                options.announce ? options.announceAddress.c_str() : "(off)", options.announcePort,
                options.rootDir.c_str());
    std::fflush(stdout);
    while (!stopRequested)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::printf("korvex-devsim: stopping\n");
    device.Stop();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CommandLine line;
    Options& options = line.options;
    options.rootDir = "devsim-root";
    try {
        for (int i = 1; i < argc; ++i) {
            std::string a = argv[i];
            if (a == "--help" || a == "-h") {
                std::fputs(kHelp, stdout);
                return 0;
            }
            if (a == "--no-announce") {
                options.announce = false;
                continue;
            }
            if (i + 1 >= argc)
                throw std::invalid_argument("unknown option or missing value: " + a);
            const char* v = argv[++i];
            if (!ApplyDeviceOption(line, a, v) && !ApplyFaultOption(options, a, v))
                throw std::invalid_argument("unknown option: " + a + " (see --help)");
        }
        if (line.shell)
            return RunDeviceShell(options, line.shellCommand);
        for (unsigned c = 0; c < options.cameraCount && !line.formats.empty(); ++c)
            options.formats.push_back(line.formats[std::min<size_t>(c, line.formats.size() - 1)]);
        return Serve(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvex-devsim: %s\n", e.what());
        return 2;
    }
}
