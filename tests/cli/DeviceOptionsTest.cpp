// The option reader of korvex-cli device, as both the single device and the
// fleet use it: values kept, the command word found, refusals said.
#include "cli/DeviceOptions.h"

#include "cli/Cli.h"

#include <gtest/gtest.h>

namespace korvex::cli {
namespace {

struct Login {
    uint16_t port = 22;
    std::string user, knownHosts;
    std::vector<DeviceOption> Options() { return LoginOptions(port, user, knownHosts); }
};

// The status and what was said on standard error.
std::pair<int, std::string> Parse(const std::vector<std::string>& args,
                                  const std::vector<DeviceOption>& options, size_t& next) {
    ::testing::internal::CaptureStderr();
    const int status = ParseDeviceOptions(args, options, "usage: test", next);
    return {status, ::testing::internal::GetCapturedStderr()};
}

TEST(DeviceOptions, ReadsValuesUpToTheCommandWord) {
    Login login;
    size_t next = 99;
    const auto [status, said] =
        Parse({"--port", "2222", "--user", "admin", "--known-hosts", "", "version", "--port", "x"},
              login.Options(), next);
    EXPECT_EQ(status, ExitOk) << said;
    EXPECT_EQ(login.port, 2222);
    EXPECT_EQ(login.user, "admin");
    EXPECT_EQ(login.knownHosts, ""); // "" keeps the default file
    EXPECT_EQ(next, 6u) << "what follows the command word is the command's own";

    Login none;
    EXPECT_EQ(Parse({}, none.Options(), next).first, ExitOk);
    EXPECT_EQ(next, 0u);
}

TEST(DeviceOptions, RefusesBadValuesUnknownOptionsAndPasswords) {
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"--port", "0"}, "--port needs a number from 1 to 65535"},
        {{"--port", "65536"}, "--port needs a number from 1 to 65535"},
        {{"--port", "99999999999999999999"}, "--port needs a number from 1 to 65535"},
        {{"--port", "12x"}, "--port needs a number from 1 to 65535"},
        {{"--port", ""}, "--port needs a number from 1 to 65535"},
        {{"--user", "admin", "--port"}, "--port needs a number from 1 to 65535"},
        {{"--user"}, "--user needs a name"},
        {{"--bogus", "version"}, "unknown option --bogus\nusage: test"},
        {{"--password", "secret", "version"}, "never taken from the command line"},
        {{"--password=secret", "version"}, "never taken from the command line"},
    };
    for (const auto& c : cases) {
        Login login;
        size_t next = 0;
        const auto [status, said] = Parse(c.args, login.Options(), next);
        EXPECT_EQ(status, ExitUsage) << c.args[0];
        EXPECT_NE(said.find(c.says), std::string::npos) << c.args[0] << " said: " << said;
        EXPECT_EQ(said.find("secret"), std::string::npos) << "a password is never repeated";
        EXPECT_EQ(login.port, 22) << "a refused value is not kept";
    }
}

TEST(DeviceOptions, ModeOptionsJoinTheSharedOnes) {
    Login login;
    unsigned parallel = 8;
    std::string hosts;
    std::vector<DeviceOption> options = login.Options();
    options.push_back(TextOption("--hosts", "", hosts, true));
    options.push_back(CountOption("--parallel", 256, "--parallel needs a number from 1 to 256",
                                  [&](unsigned long n) { parallel = static_cast<unsigned>(n); }));
    options.push_back(
        {"--host", false, "", false, [](const std::string&) { return UsageError("excluded"); }});
    size_t next = 0;
    EXPECT_EQ(Parse({"--hosts", "-", "--parallel", "256", "--user", "u", "version"}, options, next).first,
              ExitOk);
    EXPECT_EQ(hosts, "-");
    EXPECT_EQ(parallel, 256u);
    EXPECT_EQ(next, 6u);

    const auto tooMany = Parse({"--parallel", "257"}, options, next);
    EXPECT_EQ(tooMany.first, ExitUsage);
    EXPECT_NE(tooMany.second.find("--parallel needs a number from 1 to 256"), std::string::npos);
    const auto empty = Parse({"--hosts", ""}, options, next);
    EXPECT_EQ(empty.first, ExitUsage);
    EXPECT_NE(empty.second.find("--hosts needs a value"), std::string::npos);
    // An option that refuses itself ends the reading with its own status.
    const auto excluded = Parse({"--user", "u", "--host", "version"}, options, next);
    EXPECT_EQ(excluded.first, ExitUsage);
    EXPECT_NE(excluded.second.find("excluded"), std::string::npos);
}

} // namespace
} // namespace korvex::cli
