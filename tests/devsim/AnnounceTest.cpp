// Announcements received on a UDP socket of the test.

#include "DevsimFixture.h"

#include "devsim/Announcer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace korvex::devsim;
using namespace devsimtest;

namespace {

class UdpListener {
public:
    UdpListener() {
        fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
        socklen_t n = sizeof at;
        getsockname(fd, reinterpret_cast<sockaddr*>(&at), &n);
        port = ntohs(at.sin_port);
    }
    ~UdpListener() { close(fd); }

    // One datagram, or an empty text after `timeout_ms`.
    std::string Receive(int timeout_ms) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0)
            return {};
        char buffer[2048];
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, size_t(n)) : std::string();
    }

    void Drain() {
        while (!Receive(0).empty()) {
        }
    }

    int fd = -1;
    uint16_t port = 0;
};

TEST(Announcements, CarryTheAliasOncePerIntervalAndPauseDuringARestart) {
    TempDir root;
    UdpListener listener;
    Options o = QuietOptions(root.Path());
    o.announce = true;
    o.announcePort = listener.port;
    o.announceInterval_ms = 100;
    o.alias = "Gate 3";
    o.restartSeconds = 1;
    DeviceSimulator device(o);
    device.Start();
    EXPECT_EQ(listener.Receive(2000), "VISION\nacting as tavo\nalias `Gate 3`\n");
    EXPECT_EQ(listener.Receive(2000), "VISION\nacting as tavo\nalias `Gate 3`\n");

    device.Restart();
    ASSERT_TRUE(device.WaitUntil([&] { return device.Restarting(); }, 1000));
    // One datagram may have been on its way when the restart began.
    device.WaitUntil([] { return false; }, 150);
    listener.Drain();
    unsigned before = device.AnnouncementsSent();
    device.WaitUntil([] { return false; }, 400);
    EXPECT_EQ(device.AnnouncementsSent(), before);
    EXPECT_TRUE(listener.Receive(0).empty());
    ASSERT_TRUE(device.WaitUntil([&] { return !device.Restarting(); }, 3000));
    EXPECT_FALSE(listener.Receive(2000).empty());
}

TEST(Announcements, FaultsShapeTheDatagram) {
    EXPECT_EQ(BuildAnnouncement("N", AnnounceFault::NoPrefix, ""), "HELLO\nalias `N`\n");
    EXPECT_EQ(BuildAnnouncement("N", AnnounceFault::SingleByte, ""), "V");
    EXPECT_EQ(BuildAnnouncement("N", AnnounceFault::NoAlias, ""), "VISION\n");
    EXPECT_EQ(BuildAnnouncement("abc", AnnounceFault::UnterminatedAlias, ""), "VISION\nalias `abc");
    std::string longOne = BuildAnnouncement("N", AnnounceFault::LongAlias, "");
    size_t open = longOne.find('`'), close = longOne.rfind('`');
    EXPECT_EQ(close - open - 1, 70u);
    EXPECT_EQ(BuildAnnouncement("N", AnnounceFault::Raw, std::string("x\0y", 3)), std::string("x\0y", 3));

    // A fault set while running reaches the next datagram.
    TempDir root;
    UdpListener listener;
    Options o = QuietOptions(root.Path());
    o.announce = true;
    o.announcePort = listener.port;
    o.announceInterval_ms = 50;
    DeviceSimulator device(o);
    device.Start();
    FaultOptions f;
    f.announceFault = AnnounceFault::SingleByte;
    device.SetFaults(f);
    listener.Drain();
    bool seen = false;
    for (int i = 0; i < 20 && !seen; ++i)
        seen = listener.Receive(1000) == "V";
    EXPECT_TRUE(seen);
}

} // namespace
