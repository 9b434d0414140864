#include "devsim/Announcer.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace korvex::devsim {

std::string BuildAnnouncement(const std::string& alias, AnnounceFault fault, const std::string& raw) {
    const std::string quote = "`";
    switch (fault) {
    case AnnounceFault::None:
        return "VISION\nacting as tavo\nalias " + quote + alias + quote + "\n";
    case AnnounceFault::NoPrefix:
        return "HELLO\nalias " + quote + alias + quote + "\n";
    case AnnounceFault::SingleByte:
        return "V";
    case AnnounceFault::NoAlias:
        return "VISION\n";
    case AnnounceFault::UnterminatedAlias:
        return "VISION\nalias " + quote + alias;
    case AnnounceFault::LongAlias: {
        std::string name;
        for (unsigned i = 0; i < 70; ++i)
            name.push_back(char('A' + i % 26));
        return "VISION\nacting as tavo\nalias " + quote + name + quote + "\n";
    }
    case AnnounceFault::Raw:
        return raw;
    }
    return {};
}

Announcer::Announcer(DeviceSimulator::State& state) : Thread("Announce"), state(state) {}

Announcer::~Announcer() {
    if (socket >= 0)
        ::close(socket);
}

void Announcer::Open() {
    socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        throw std::runtime_error(std::string("devsim: cannot create the announcement socket: ") +
                                 strerror(errno));
    in_addr probe{};
    if (inet_pton(AF_INET, state.options.announceAddress.c_str(), &probe) != 1)
        throw std::runtime_error("devsim: announcement address '" + state.options.announceAddress +
                                 "' is not an IPv4 address");
    int on = 1;
    // Lets a broadcast address be given as the destination.
    setsockopt(socket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
}

void Announcer::Run() {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(state.options.announcePort);
    inet_pton(AF_INET, state.options.announceAddress.c_str(), &to.sin_addr);
    unsigned interval = state.options.announceInterval_ms ? state.options.announceInterval_ms : 1000;
    do {
        if (!state.DeviceDown()) {
            FaultOptions faults = state.CurrentFaults();
            std::string payload =
                BuildAnnouncement(state.options.alias, faults.announceFault, faults.announceRaw);
            // Loopback errors (nobody listening) are normal; just go on.
            if (sendto(socket, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&to),
                       sizeof to) >= 0)
                ++state.announcementsSent;
        }
    } while (!SleepOrStop(interval));
}

} // namespace korvex::devsim
