// The known-hosts file on a real connect: /dev/null records nothing and
// stays what it is, and the lock beside a regular file is gone after use.

#include "DeviceJobsFixture.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace korvex {
namespace {

using testing::DeviceJobs;
using testing::ReadFile;

TEST_F(DeviceJobs, NullKnownHostsRecordsNothingAndStaysADevice) {
    // A node of its own with /dev/null's numbers, so that a fault cannot
    // harm the system's /dev/null.
    const std::string null = (folder / "null").string();
    if (::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "making a device node needs root";
    StartDevice();
    login.knownHostsPath = null; // the request's file, not the session's default
    for (int round = 0; round < 2; ++round) {
        Connect();
        Run(DisconnectRequest{});
    }
    EXPECT_TRUE(status.Errors().empty()) << status.Errors().front();
    struct stat info {};
    ASSERT_EQ(::stat(null.c_str(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_FALSE(std::filesystem::exists(null + ".lock"));
}

TEST_F(DeviceJobs, KnownHostsLockIsRemovedAfterUse) {
    StartDevice();
    Connect();
    const std::string path = KnownHostsPath();
    EXPECT_NE(ReadFile(path).find("ecdsa-sha2-nistp256"), std::string::npos) << ReadFile(path);
    EXPECT_FALSE(std::filesystem::exists(path + ".lock"));
}

} // namespace
} // namespace korvex
