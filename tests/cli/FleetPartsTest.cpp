// The host list and the JSON lines of korvex-cli device --hosts.
#include "cli/DeviceResult.h"
#include "cli/Fleet.h"
#include "cli/JsonLine.h"
#include "cli/ProjectArgs.h"

#include <gtest/gtest.h>

namespace korvex::cli {
namespace {

TEST(HostList, ReadsHostsPortsCommentsAndBlankLines) {
    const HostList list = ParseHostList("# north site\n"
                                        "10.0.0.5\n"
                                        "\n"
                                        "  10.0.0.6:2222   # gate 2\r\n"
                                        "10.0.0.5:22\n"   // the same device again
                                        "10.0.0.5:2200\n" // another port is another device
                                        "10.0.0.7",       // no line end at the end
                                        22, "site.txt");
    ASSERT_EQ(list.error, "");
    ASSERT_EQ(list.hosts.size(), 4u);
    EXPECT_EQ(list.hosts[0].host, "10.0.0.5");
    EXPECT_EQ(list.hosts[0].port, 22);
    EXPECT_EQ(list.hosts[0].line, 2u);
    EXPECT_EQ(list.hosts[1].host, "10.0.0.6");
    EXPECT_EQ(list.hosts[1].port, 2222);
    EXPECT_EQ(list.hosts[2].port, 2200);
    EXPECT_EQ(list.hosts[3].host, "10.0.0.7");
    EXPECT_EQ(list.hosts[3].line, 7u);
    ASSERT_EQ(list.notes.size(), 1u);
    EXPECT_NE(list.notes[0].find("line 5"), std::string::npos);
    // --port gives the port of lines without one.
    EXPECT_EQ(ParseHostList("10.0.0.5\n", 2222, "x").hosts.at(0).port, 2222);
}

TEST(HostList, RefusesTheWholeListOnABadLineAndSaysWhere) {
    struct Case {
        const char* text;
        const char* where;
    };
    for (const Case& c :
         {Case{"10.0.0.5\nnot-an-address\n", "line 2"}, Case{"10.0.0.5:0\n", "line 1"},
          Case{"10.0.0.5:65536\n", "line 1"}, Case{"10.0.0.5:\n", "line 1"}, Case{"10.0.0.5:22x\n", "line 1"},
          Case{"\n\n10.0.0.5 10.0.0.6\n", "line 3"}, Case{"10.0.0.256\n", "line 1"}}) {
        const HostList list = ParseHostList(c.text, 22, "hosts.txt");
        EXPECT_TRUE(list.hosts.empty()) << c.text;
        EXPECT_NE(list.error.find(std::string("hosts.txt ") + c.where), std::string::npos)
            << c.text << " -> " << list.error;
    }
    const std::string withZero("10.0.0.5\n10.0.0.6\0\n", 19);
    EXPECT_NE(ParseHostList(withZero, 22, "h").error.find("line 2"), std::string::npos);
    EXPECT_NE(ParseHostList(std::string(2000, '1') + "\n", 22, "h").error.find("line 1"), std::string::npos);
}

// Every value a device command gives back, as its fleet line's "result"
// and as the lines printed for one device.
TEST(FleetLines, ResultsKeepTheirShapeAndStayValidJson) {
    using namespace device;
    const auto withStatus = [](const std::string& status) {
        DeviceResult r;
        r.status = status;
        return r;
    };
    const auto with = [](DeviceValue value) {
        DeviceResult r;
        r.value = std::move(value);
        r.status = "ignored: the value speaks";
        return r;
    };
    NetworkSnapshot n;
    n.ipAddress = 0x0A000005u;
    n.netmask = 0xFF000000u;
    n.cameraCount = 2;
    n.cameras[0].address = 0x0A000065u;
    n.cameras[0].channel = 2;
    n.passText = "007";
    const struct {
        DeviceResult result;
        std::string json, text;
    } cases[] = {
        {withStatus("Program downloaded."), "\"Program downloaded.\"", "Program downloaded.\n"},
        {withStatus("first\r\nsecond"), "[\"first\", \"second\"]", "first\r\nsecond\n"},
        {DeviceResult{}, "null", ""},
        {with(Listing{0, {"cam0", "cam1"}, {"cam0/", "cam1/"}}), "[\"cam0/\", \"cam1/\"]", "cam0/\ncam1/\n"},
        {with(Listing{}), "[]", ""},
        {with(ClockReport{true}), "\"device clock set\"", "device clock set\n"},
        {with(VersionInfo{"admin", 0x0500000Au, "2.1.0", 4}),
         "\"Connected as admin@10.0.0.5; Firmware version: 2.1.0; Cameras: 4\"",
         "Connected as admin@10.0.0.5; Firmware version: 2.1.0; Cameras: 4\n"},
        {with(n),
         "{\"ipaddr\": \"10.0.0.5\", \"netmask\": \"255.0.0.0\", \"gateway\": \"missing\", "
         "\"hwaddr\": \"\", \"controller\": \"none\", \"cameras\": 2, "
         "\"camera_0\": \"10.0.0.101?channel=2\", \"camera_1\": \"none\", \"pass\": \"007\"}",
         "ipaddr: 10.0.0.5\nnetmask: 255.0.0.0\ngateway: missing\nhwaddr: \ncontroller: none\n"
         "cameras: 2\ncamera 0: 10.0.0.101?channel=2\ncamera 1: none\npass: 007\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JsonLine(ResultJson(c.result)), c.json);
        EXPECT_EQ(ResultText(c.result), c.text);
    }

    FleetHost host{"10.0.0.5", 2222, 1};
    EXPECT_EQ(FleetLine(host, true, "x"),
              "{\"host\": \"10.0.0.5\", \"port\": 2222, \"ok\": true, \"result\": \"x\"}");
    EXPECT_EQ(FleetLine(host, false, "bad \"quote\"\n"),
              "{\"host\": \"10.0.0.5\", \"port\": 2222, \"ok\": false, \"error\": \"bad \\\"quote\\\"\\n\"}");
    // Bytes that are not UTF-8 never make the line invalid.
    EXPECT_EQ(FleetLine(host, false, "Gate \xb3"),
              "{\"host\": \"10.0.0.5\", \"port\": 2222, \"ok\": false, \"error\": \"Gate \xef\xbf\xbd\"}");
}

TEST(FleetLines, ErrorTextJoinsTheLinesOfItsMessagesAndIsBounded) {
    EXPECT_EQ(FleetErrorText({"Could not reach the device.", "", " second\nthird \n"}, "x"),
              "Could not reach the device.; second; third");
    EXPECT_EQ(FleetErrorText({}, "failed with exit status 1"), "failed with exit status 1");
    // A flood of errors is cut, never inside a character.
    std::string flood;
    for (int i = 0; i < 1500; ++i)
        flood += "ż";
    const std::string text = FleetErrorText({flood}, "");
    EXPECT_LE(text.size(), 2003u);
    EXPECT_EQ(text.substr(text.size() - 3), "...");
    EXPECT_EQ(JsonLine(Json(text)).find("\xef\xbf\xbd"), std::string::npos);
}

TEST(FleetLines, DownloadPatternsAndHostListDetection) {
    const FleetHost host{"10.0.0.5", 2222, 1};
    EXPECT_EQ(ExpandDevicePattern("site/{host}-{port}.kvx", host), "site/10.0.0.5-2222.kvx");
    EXPECT_EQ(ExpandDevicePattern("{host}{host}{nothing}", host), "10.0.0.510.0.0.5{nothing}");

    EXPECT_TRUE(NamesHostList({"--user", "admin", "--hosts", "-", "version"}));
    EXPECT_TRUE(NamesHostList({"--hosts", "--help"}));
    EXPECT_FALSE(NamesHostList({"--host", "10.0.0.5", "--user", "admin", "version"}));
    // After the operation word, --hosts belongs to the operation (and a
    // value named --hosts is just a value).
    EXPECT_FALSE(NamesHostList({"--host", "10.0.0.5", "upload", "--hosts"}));
    EXPECT_FALSE(NamesHostList({"--user", "--hosts", "--host", "10.0.0.5", "version"}));
}

} // namespace
} // namespace korvex::cli
