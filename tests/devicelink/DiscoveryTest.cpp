// Announcement parsing, the device list and the discovery thread on loopback.

#include "Fakes.h"
#include "devicelink/Announcement.h"
#include "devicelink/DeviceList.h"
#include "devicelink/ScanThread.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "support/FreePort.h"

#include <algorithm>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvex {
namespace {

std::string Alias(const std::string& payload) {
    return ParseAnnouncement(payload.data(), payload.size());
}

TEST(Announcement, AliasLines) {
    EXPECT_EQ(Alias("VISION\nalias `Gate 3`\n"), "Gate 3");
    EXPECT_EQ(Alias("VISION\nacting as tavo\nalias `North`\n"), "North");
    EXPECT_EQ(Alias("VISION\n"), "");
    EXPECT_EQ(Alias("VISION\nalias `abc"), "abc");                    // unterminated
    EXPECT_EQ(Alias("VISION\nalias `a`\nalias `b`\n"), "b");          // the last one wins
    EXPECT_EQ(Alias("VISION\nalias `a`\nalias `"), "");               // a later, empty one too
    EXPECT_EQ(Alias("VISION\nalias `x`\ngarbage\nalias `y`\n"), "x"); // parsing stops
    EXPECT_EQ(Alias("VISION\nalias `a`b`\nalias `c`\n"), "a");        // no "`\n" after the name
    EXPECT_EQ(Alias("HELLO\nalias `x`\n"), "");
    EXPECT_EQ(Alias("V"), "");
    EXPECT_EQ(Alias(""), "");
    EXPECT_EQ(Alias(std::string("VISION\nalias `ab\0cd`\n", 20)), "ab"); // a zero byte ends it
}

TEST(Announcement, AliasOfSeventyBytesKeepsSixtyThree) {
    std::string name(70, 'n');
    std::string alias = Alias("VISION\nalias `" + name + "`\n");
    EXPECT_EQ(alias, std::string(63, 'n'));
}

class ListRecorder : public DeviceListSink {
public:
    void LineAdded(size_t index, const std::string& line, const std::string& caption) override {
        added.push_back({index, line});
        lastCaption = caption;
    }
    void LineChanged(size_t index, const std::string& line) override { changed.push_back({index, line}); }
    void LineRemoved(size_t index, const std::string& caption) override {
        removed.push_back(index);
        lastCaption = caption;
    }
    std::vector<std::pair<size_t, std::string>> added, changed;
    std::vector<size_t> removed;
    std::string lastCaption;
};

const uint32_t Device20 = 0x1400A8C0u; // 192.168.0.20 in network byte order
const uint32_t Device21 = 0x1500A8C0u;

TEST(DeviceList, AddsUpdatesAndClearsAliases) {
    DeviceList list;
    ListRecorder sink;
    list.SetSink(&sink);
    list.DeviceSeen(Device20, "Gate 3", 1000);
    ASSERT_EQ(sink.added.size(), 1u);
    EXPECT_EQ(sink.added[0], std::make_pair(size_t(1), std::string("192.168.0.20 (Gate 3)")));
    // Same datagram again: only lastSeen moves.
    list.DeviceSeen(Device20, "Gate 3", 2000);
    EXPECT_TRUE(sink.changed.empty());
    EXPECT_EQ(list.LastSeen(Device20), 2000u);
    // No alias now: the line becomes the bare address.
    list.DeviceSeen(Device20, "", 3000);
    ASSERT_EQ(sink.changed.size(), 1u);
    EXPECT_EQ(sink.changed[0], std::make_pair(size_t(1), std::string("192.168.0.20")));
    list.DeviceSeen(Device21, "", 3500);
    // The placeholder's line says what it is for, never a bare 0.0.0.0.
    const std::string placeholder = list.Lines().front();
    EXPECT_EQ(placeholder.rfind("0.0.0.0 ", 0), 0u) << placeholder;
    EXPECT_GT(placeholder.size(), std::string("0.0.0.0 ").size());
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{placeholder, "192.168.0.20", "192.168.0.21"}));
    EXPECT_EQ(sink.lastCaption, LoadTextA(text::devices_heading) + " (2)");
    EXPECT_EQ(list.Caption(), LoadTextA(text::devices_heading) + " (2)");
}

TEST(DeviceList, SelectionAndLookups) {
    DeviceList list;
    EXPECT_EQ(list.SelectedAddress(), 0u); // the placeholder is selected
    list.DeviceSeen(Device20, "", 5);
    list.Select(1);
    EXPECT_EQ(list.SelectedAddress(), Device20);
    list.Select(7);
    EXPECT_EQ(list.SelectedAddress(), 0u);
    EXPECT_EQ(list.LastSeen(Device21), 0u);
}

TEST(DeviceList, FullListGivesWayToNewSendersOldestFirst) {
    DeviceList list(4); // placeholder and three devices
    ListRecorder sink;
    list.SetSink(&sink);
    const uint32_t real = 0x0A00A8C0u; // 192.168.0.10
    list.DeviceSeen(real, "Gate", 100);
    for (uint32_t i = 0; i < 50; ++i) // forged senders, each heard once
        list.DeviceSeen(0x0000000Au | (i << 24), "", 200 + i);
    EXPECT_EQ(list.Size(), 4u);
    EXPECT_EQ(list.Dropped(), 48u); // the real device was the first to go
    EXPECT_EQ(list.LastSeen(real), 0u);
    // The real device announces again and is listed: the oldest forgery goes.
    list.DeviceSeen(real, "Gate", 1000);
    EXPECT_EQ(list.LastSeen(real), 1000u);
    EXPECT_EQ(list.Dropped(), 49u);
    EXPECT_EQ(list.Lines().back(), "192.168.0.10 (Gate)");
    EXPECT_EQ(list.Lines().front().rfind("0.0.0.0 ", 0), 0u);
    // Every removal was announced, never for the placeholder, and the caption
    // still counts the devices listed.
    EXPECT_EQ(sink.removed.size(), 49u);
    EXPECT_EQ(std::count(sink.removed.begin(), sink.removed.end(), size_t(0)), 0);
    EXPECT_EQ(sink.lastCaption, LoadTextA(text::devices_heading) + " (3)");
    // Known devices update in place without dropping anything.
    list.DeviceSeen(real, "Gate 2", 1100);
    EXPECT_EQ(list.Dropped(), 49u);
}

TEST(DeviceList, SelectedDeviceStaysSelectedWhileOthersGiveWay) {
    DeviceList list(3);
    list.DeviceSeen(Device20, "", 1);
    list.DeviceSeen(Device21, "", 2);
    list.Select(2);                      // Device21
    list.DeviceSeen(0x1600A8C0u, "", 3); // Device20 (index 1) goes
    EXPECT_EQ(list.SelectedAddress(), Device21);
    list.DeviceSeen(0x1700A8C0u, "", 4); // .22 goes, not the older selected .21
    EXPECT_EQ(list.SelectedAddress(), Device21);
    EXPECT_NE(list.LastSeen(Device21), 0u);
    EXPECT_EQ(list.LastSeen(0x1600A8C0u), 0u);
}

TEST(DeviceList, LinesNeverCarryDisplayControls) {
    DeviceList list;
    // Colour, window title, backspace, carriage return, a C1 control, a
    // right-to-left override and an invalid byte.
    list.DeviceSeen(Device20, "\x1b[31mRED\x1b]0;owned\x07\b\rX\xc2\x9b\xe2\x80\xae\xff", 1);
    const std::string line = list.Lines().back();
    EXPECT_EQ(line,
              "192.168.0.20 (\\u001b[31mRED\\u001b]0;owned\\u0007\\u0008\\rX\\u009b\\u202e\xef\xbf\xbd)");
    for (unsigned char c : line)
        EXPECT_GE(c, 0x20);
    // Printable UTF-8 is kept as it is.
    list.DeviceSeen(Device21, "P\xc3\xb3\xc5\x82noc \xd7\xa9", 2);
    EXPECT_EQ(list.Lines().back(), "192.168.0.21 (P\xc3\xb3\xc5\x82noc \xd7\xa9)");
    // The stored alias is what was announced.
    EXPECT_EQ(list.Entries()[1].alias.substr(0, 4), "\x1b[31");
}

using korvex::test::FreeUdpPort;

void SendDatagram(uint16_t port, const std::string& payload) {
    int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    ::sendto(s, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::close(s);
}

TEST(ScanThread, RecordsSendersAndIgnoresOversizedDatagrams) {
    DeviceList list;
    ListRecorder sink;
    list.SetSink(&sink);
    const uint16_t port = FreeUdpPort();
    ScanThread scan(list, port);
    scan.Start();
    ASSERT_TRUE(testing::WaitFor([&] { return scan.Listening(); }, 5000));
    SendDatagram(port, std::string(1500, 'x')); // longer than an announcement may be
    SendDatagram(port, "VISION\nacting as tavo\nalias `Loop`\n");
    const uint32_t loopback = htonl(INADDR_LOOPBACK);
    EXPECT_TRUE(testing::WaitFor([&] { return list.LastSeen(loopback) != 0; }, 5000));
    scan.Stop();
    // Had the oversized datagram counted, the line would have been added
    // bare and changed afterwards.
    ASSERT_EQ(sink.added.size(), 1u);
    EXPECT_EQ(sink.added[0].second, "127.0.0.1 (Loop)");
    EXPECT_TRUE(sink.changed.empty());
}

// Binds `port` on loopback without address reuse, as a program that wants
// it for itself would.
int HoldPort(uint16_t port) {
    int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(port);
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

void Broadcast(uint16_t port, const std::string& payload) {
    int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(0x7FFFFFFFu); // 127.255.255.255
    a.sin_port = htons(port);
    ::sendto(s, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::close(s);
}

TEST(ScanThread, TwoListenersOnOnePortBothHearBroadcasts) {
    const uint16_t port = FreeUdpPort();
    DeviceList first, second;
    ScanThread a(first, port), b(second, port);
    a.Start();
    b.Start();
    ASSERT_TRUE(testing::WaitFor([&] { return a.Listening() && b.Listening(); }, 5000));
    const uint32_t loopback = htonl(INADDR_LOOPBACK);
    // Datagrams can be lost; announce until both have heard it, as devices do.
    EXPECT_TRUE(testing::WaitFor(
        [&] {
            Broadcast(port, "VISION\nalias `Both`\n");
            return first.LastSeen(loopback) != 0 && second.LastSeen(loopback) != 0;
        },
        5000));
    a.Stop();
    b.Stop();
    EXPECT_EQ(first.Lines().back(), "127.0.0.1 (Both)");
    EXPECT_EQ(second.Lines().back(), "127.0.0.1 (Both)");
}

TEST(ScanThread, PortHeldElsewhereIsReportedOnceAndRetriedUntilFree) {
    const uint16_t port = FreeUdpPort();
    const int holder = HoldPort(port);
    ASSERT_GE(holder, 0);
    DeviceList list;
    ListRecorder sink;
    list.SetSink(&sink);
    testing::RecordingStatus status;
    ScanThread scan(list, port, &status, 100);
    scan.Start();
    const std::string problem =
        "Device discovery is off: UDP port " + std::to_string(port) + " is in use by another program";
    ASSERT_TRUE(testing::WaitFor([&] { return list.Lines().front() == problem; }, 5000));
    // Several retries later: still said once, in the first row and the status.
    ::usleep(400 * 1000);
    EXPECT_FALSE(scan.Listening());
    EXPECT_EQ(sink.changed, (std::vector<std::pair<size_t, std::string>>{{0, problem}}));
    EXPECT_EQ(status.Events().size(), 1u);
    EXPECT_EQ(status.Texts(), std::vector<std::string>{problem});
    // Once the port is free the thread listens and the first row is back.
    ::close(holder);
    ASSERT_TRUE(testing::WaitFor([&] { return scan.Listening(); }, 5000));
    EXPECT_EQ(list.Lines().front().rfind("0.0.0.0 ", 0), 0u);
    SendDatagram(port, "VISION\n");
    EXPECT_TRUE(testing::WaitFor([&] { return list.Size() == 2; }, 5000));
    scan.Stop();
}

} // namespace
} // namespace korvex
