// The known-hosts path names a regular file, nothing yet, or /dev/null;
// anything else is refused without blocking and without being touched.

#include "Fakes.h"
#include "devicelink/Connection.h"
#include "devicelink/KnownHosts.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "support/CommandRun.h"
#include "support/LoopbackListener.h"

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/stat.h>
#include <thread>

namespace korvex {
namespace {

namespace fs = std::filesystem;

class KnownHostsFiles : public ::testing::Test {
protected:
    void SetUp() override { folder = test::MakeTempFolder("kx-known-hosts"); }
    void TearDown() override { fs::remove_all(folder); }
    std::string folder;
};

bool IsCharacterDevice(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

TEST_F(KnownHostsFiles, RegularMissingAndNullAreTakenOthersRefusedUntouched) {
    const std::string regular = folder + "/known_hosts";
    std::ofstream(regular) << "# none yet\n";
    EXPECT_EQ(KnownHostsFileKind(regular), KnownHostsFile::Regular);
    EXPECT_EQ(KnownHostsFileKind(folder + "/missing/known_hosts"), KnownHostsFile::Regular);
    EXPECT_EQ(KnownHostsFileKind("/dev/null"), KnownHostsFile::Null);

    const std::string fifo = folder + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& special : {fifo, folder, std::string("/dev/zero")}) {
        try {
            KnownHostsFileKind(special);
            ADD_FAILURE() << special << " was taken";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find(special), std::string::npos) << e.what();
        }
    }
    // Forgetting a key neither blocks on the FIFO nor writes anything.
    EXPECT_THROW(ForgetHostKey(fifo, "10.0.0.1", 22), std::exception);
    struct stat info {};
    ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(ForgetHostKey("/dev/null", "10.0.0.1", 22), 0u);
    EXPECT_TRUE(IsCharacterDevice("/dev/null"));
    EXPECT_FALSE(fs::exists(fifo + ".lock"));
}

// A FIFO given as the known-hosts file ends the connect at once, before
// the device is contacted.
TEST_F(KnownHostsFiles, FifoIsRefusedBeforeConnecting) {
    uint16_t port = 0;
    const int listener = test::ListenOnLoopback(port, 1);
    const std::string fifo = folder + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    testing::RecordingStatus status;
    DeviceList devices;
    ConnectionSetup setup{.status = status, .devices = devices};
    setup.knownHostsPath = fifo; // the default of requests that name no file
    Connection connection(std::move(setup));
    connection.Start();
    ASSERT_TRUE(connection.Post(ConnectDeviceRequest{htonl(INADDR_LOOPBACK), port, "admin", "admin", ""}));
    ASSERT_TRUE(testing::WaitFor([&] { return connection.PendingJob() == 0; }, 20000));
    connection.Stop();
    ASSERT_EQ(status.Errors().size(), 1u);
    EXPECT_NE(status.Errors()[0].find(fifo), std::string::npos) << status.Errors()[0];
    EXPECT_EQ(status.Messages().back(), text::status_connect_failed);
    pollfd p{listener, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0) << "the device was contacted";
    ::close(listener);
}

} // namespace
} // namespace korvex
