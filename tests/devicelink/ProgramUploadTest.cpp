// The program upload against a device whose copy breaks off, fails or
// lies: the device keeps its previous program and is never restarted on a
// program that is not the one sent.

#include "DeviceJobsFixture.h"
#include "framework/TextIds.h"

#include <random>
#include <sys/stat.h>

namespace korvex {
namespace {

using testing::DeviceJobs;
using testing::ReadFile;

std::string Bytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& b : bytes)
        b = static_cast<char>(random());
    return bytes;
}

class ProgramUpload : public DeviceJobs {
protected:
    void SetUp() override {
        DeviceJobs::SetUp();
        StartDevice();
        Connect();
        program = device->HostPath("/etc/tavo/program.tdv");
        before = ReadFile(program);
        ASSERT_FALSE(before.empty());
    }
    void Upload(const std::string& bytes) {
        status.Clear();
        Run(UploadProgramRequest{{bytes.begin(), bytes.end()}});
    }
    // The job failed as a whole: its error shown, the old program whole,
    // no partial copy left, no restart.
    void ExpectNothingChanged() {
        EXPECT_EQ(status.Errors().size(), 1u);
        EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::program_upload_failed}));
        EXPECT_TRUE(ReadFile(program) == before) << "the device's program was changed";
        EXPECT_FALSE(std::filesystem::exists(program + ".new"));
        EXPECT_EQ(device->RestartCount(), 0u);
        for (const auto& c : device->Commands()) {
            EXPECT_EQ(c.command.find("/tavo/restart"), std::string::npos) << c.command;
        }
    }
    std::string program;
    std::string before;
};

TEST_F(ProgramUpload, LinkDroppedMidCopyKeepsTheProgramAndDoesNotRestart) {
    devsim::FaultOptions faults;
    faults.cutUploadAfter = 20000;
    device->SetFaults(faults);
    Upload(Bytes(26083, 1));
    ExpectNothingChanged();
}

TEST_F(ProgramUpload, RefusedRenameKeepsTheProgram) {
    devsim::FaultOptions faults;
    faults.failCommand = "mv ";
    faults.failText = "mv: can't rename: Read-only file system";
    device->SetFaults(faults);
    Upload(Bytes(5000, 2));
    ExpectNothingChanged();
    ASSERT_FALSE(status.Errors().empty());
    EXPECT_NE(status.Errors()[0].find("Read-only file system"), std::string::npos) << status.Errors()[0];
}

TEST_F(ProgramUpload, WholeCopyReplacesTheProgramInOneRenameWithReadableBits) {
    const std::string sent = Bytes(26083, 3);
    Upload(sent);
    EXPECT_TRUE(status.Errors().empty()) << status.Errors().front();
    EXPECT_TRUE(ReadFile(program) == sent);
    EXPECT_EQ(device->RestartCount(), 1u);
    struct stat info {};
    ASSERT_EQ(::stat(program.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    // The copy went to the sibling file and was moved over the program
    // before the restart was asked for.
    std::vector<std::string> commands;
    for (const auto& c : device->Commands())
        if (c.command.rfind("scp ", 0) != 0)
            commands.push_back(c.command);
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[commands.size() - 2], "mv -f /etc/tavo/program.tdv.new /etc/tavo/program.tdv");
    EXPECT_EQ(commands.back(), "sync && /tavo/restart");
    for (const auto& t : device->Transfers()) {
        if (t.direction == devsim::TransferRecord::Direction::ToDevice) {
            EXPECT_EQ(t.mode, 0644u) << t.devicePath;
        }
    }
}

} // namespace
} // namespace korvex
