// The demo device never takes a port another program holds, and leaves
// nothing behind.
#include "app/demo/DemoDevice.h"

#include "devsim/DeviceFiles.h"
#include "devsim/DeviceSimulator.h"
#include "files/ProjectFile.h"

#include <arpa/inet.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvex::test {
namespace {

// A listening TCP socket on a free loopback port, as another program
// would hold it.
class HeldPort {
public:
    HeldPort() {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(fd, 1), 0);
        socklen_t n = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
        port = ntohs(a.sin_port);
    }
    ~HeldPort() { ::close(fd); }
    int fd = -1;
    uint16_t port = 0;
};

TEST(DemoDeviceTest, TakesFreePortsWhenTheUsualOnesAreHeld) {
    HeldPort live, ssh;
    DemoDevice demo;
    DemoDevice::Settings settings;
    settings.announcePort = 9; // discard: nobody listens in this test
    settings.preferredLivePort = live.port;
    settings.preferredSshPort = ssh.port;
    demo.Start(settings);
    ASSERT_TRUE(demo.Running());
    EXPECT_NE(demo.LivePort(), live.port);
    EXPECT_NE(demo.SshPort(), ssh.port);
    EXPECT_NE(demo.LivePort(), 0);
    EXPECT_NE(demo.SshPort(), 0);
    // Four cameras of the four formats.
    const auto& options = demo.Simulator()->Settings();
    ASSERT_EQ(options.cameraCount, 4u);
    EXPECT_EQ(options.formats[1], devsim::CameraFormat::Grey180);
    EXPECT_EQ(options.formats[3], devsim::CameraFormat::H264);
    const std::string root = options.rootDir;
    EXPECT_TRUE(std::filesystem::exists(root));
    // Starting again while running changes nothing.
    const uint16_t port = demo.LivePort();
    demo.Start(settings);
    EXPECT_EQ(demo.LivePort(), port);
    demo.Stop();
    EXPECT_FALSE(demo.Running());
    EXPECT_FALSE(std::filesystem::exists(root));
    demo.Stop(); // twice is harmless
}

TEST(DemoDeviceTest, RunsTheProjectItPlaysAndHasAnAddressForEveryCamera) {
    // The sample's scenes: the device's program is that project, byte for
    // byte what an upload of it sends, so a program kept before an upload
    // is the one the device really ran.
    const std::string sample = KORVEX_SAMPLE_PROJECT;
    auto scenes = std::make_shared<RenderState>(LoadProject(sample));
    DemoDevice demo;
    DemoDevice::Settings settings;
    settings.announcePort = 9;
    settings.preferredLivePort = settings.preferredSshPort = 0;
    settings.scenes = scenes;
    settings.scenesPath = sample;
    demo.Start(settings);
    const std::string root = demo.Simulator()->Settings().rootDir;
    std::string program;
    ASSERT_TRUE(devsim::ReadFile(devsim::MapDevicePath(root, "/etc/tavo/program.tdv"), program));
    const std::vector<uint8_t> upload = ProjectFileBytes(*scenes, sample);
    EXPECT_EQ(program, std::string(upload.begin(), upload.end()));
    // Four cameras streamed, four in the factory record, four camera files
    // with an address: the status bar and the network dialog agree.
    for (int i = 0; i < 4; ++i) {
        std::string camera;
        ASSERT_TRUE(devsim::ReadFile(devsim::MapDevicePath(root, "/tavo/cam" + std::to_string(i)), camera))
            << i;
        EXPECT_EQ(camera.rfind("192.168.0.", 0), 0u) << i << ": " << camera;
    }
    demo.Stop();
}

} // namespace
} // namespace korvex::test
