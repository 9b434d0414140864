// A network write whose copies break off or are refused: nothing is applied
// before everything is on the device, and a failure says exactly which
// settings the device now holds and which it does not.

#include "DeviceJobsFixture.h"
#include "framework/TextIds.h"

namespace korvex {
namespace {

using testing::DeviceJobs;
using testing::ReadFile;

class NetworkWrite : public DeviceJobs {
protected:
    void SetUp() override {
        DeviceJobs::SetUp();
        StartDevice();
        Connect();
        Run(ReadNetworkRequest{}); // the camera rows the write covers
        for (const char* path : {"/etc/tavo/network.conf", "/tavo/cam0", "/tavo/cam1", "/tavo/pass"})
            before[path] = ReadFile(device->HostPath(path));
        write.ipAddress = 0x0A010203u; // 10.1.2.3
        write.netmask = 0xFF000000u;
        write.gateway = 0x0A000001u;
        write.cameraAddress[0] = 0x0A000005u;
        write.cameraAddress[1] = 0x0A000006u;
        write.passText = "new pass";
    }
    bool Unchanged(const char* path) { return ReadFile(device->HostPath(path)) == before[path]; }
    std::map<std::string, std::string> before;
    WriteNetworkRequest write;
};

TEST_F(NetworkWrite, AFailureSaysWhichSettingsTheDeviceHoldsNow) {
    struct Case {
        const char* name;
        devsim::FaultOptions faults;
        std::vector<std::string> applied, notApplied, unknown;
    };
    devsim::FaultOptions cut;
    cut.cutUploadAfter = 3; // every file copy breaks off
    devsim::FaultOptions refused;
    refused.failCommand = "/tavo/ipconfig --proto";
    refused.failText = "ipconfig: the interface is busy\n";
    devsim::FaultOptions lockedCut = cut;
    lockedCut.lockedFolders = {"/tavo"}; // the files can only be written in place
    const std::vector<std::string> all = {"address, netmask and gateway", "camera 0", "camera 1", "pass text",
                                          "controller"};
    const Case cases[] = {
        {"cut while sending", cut, {}, all, {}},
        {"settings refused", refused, {}, all, {}},
        {"cut while writing in place",
         lockedCut,
         {"address, netmask and gateway"},
         {"camera 1", "pass text", "controller"},
         {"camera 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device->SetFaults(c.faults);
        const DeviceResult result = Run(write);
        EXPECT_EQ(result.outcome, Outcome::Failed);
        const NetworkWriteReport* report = std::get_if<NetworkWriteReport>(&result.value);
        ASSERT_NE(report, nullptr);
        EXPECT_EQ(report->applied, c.applied);
        EXPECT_EQ(report->notApplied, c.notApplied);
        EXPECT_EQ(report->unknown, c.unknown);
        EXPECT_FALSE(report->restarted);
        EXPECT_NE(result.error.find(c.applied.empty()
                                        ? "still holds all its old settings"
                                        : "now holds the new address, netmask and gateway; it "
                                          "still holds the old camera 1; pass text; controller"),
                  std::string::npos)
            << result.error;
        EXPECT_EQ(Unchanged("/etc/tavo/network.conf"), c.applied.empty());
        EXPECT_EQ(Unchanged("/tavo/cam0"), c.unknown.empty());
        EXPECT_TRUE(Unchanged("/tavo/cam1"));
        EXPECT_TRUE(Unchanged("/tavo/pass"));
        for (const char* left : {"/tavo/cam0.new", "/tavo/pass.new", "/tavo/controller.new"})
            EXPECT_FALSE(std::filesystem::exists(device->HostPath(left))) << left;
        EXPECT_EQ(device->RestartCount(), 0u);
        testing::WriteFile(device->HostPath("/tavo/cam0"), before["/tavo/cam0"]);
    }
}

} // namespace
} // namespace korvex
