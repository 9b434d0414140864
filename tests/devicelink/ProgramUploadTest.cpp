// The program upload against a device whose copy breaks off, fails or
// lies: the device keeps its previous program and is never restarted on a
// program that is not the one sent.

#include "DeviceJobsFixture.h"
#include "devicelink/ProgramHistory.h"
#include "framework/TextIds.h"

#include <atomic>
#include <random>
#include <sys/stat.h>
#include <thread>

namespace korvex {
namespace {

using testing::DeviceJobs;
using testing::ReadFile;
using testing::WriteFile;

std::string Bytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& b : bytes)
        b = static_cast<char>(random());
    return bytes;
}

class ProgramUpload : public DeviceJobs {
protected:
    void Prepare(ConnectionSetup& setup) override { setup.programHistory = history.get(); }
    void SetUp() override {
        DeviceJobs::SetUp();
        history = std::make_unique<ProgramHistory>((folder / "history").string());
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
    std::unique_ptr<ProgramHistory> history; // in the test's folder
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

// Every way an upload can end, on a device whose program folder the login
// may write in and on one where it may only write the program file itself
// (there the program is written in place): the device is restarted only on
// the program sent, read back whole, and after a failed copy the report and
// the message say what the device holds.
TEST_F(ProgramUpload, EndsInAKnownStateInBothFolderModesWithTheLinkCutOrNot) {
    using P = UploadReport::Previous;
    struct Case {
        const char* name;
        bool locked;
        uint64_t cutAfter; // 0: the copy goes through
        bool installed;
        P previous;
        const char* said; // in the error
    };
    const Case cases[] = {
        {"writable", false, 0, true, P::Untouched, ""},
        {"writable, cut", false, 20000, false, P::Untouched, "was not changed"},
        {"locked", true, 0, true, P::Untouched, ""},
        {"locked, cut", true, 20000, false, P::Restored, "written back and checked"},
        // Writing the previous program (172 bytes) back breaks off too, but
        // only over the bytes the cut copy had replaced: it is whole again.
        {"locked, cut below the old size", true, 100, false, P::Restored, "written back and checked"},
    };
    const std::string sent = Bytes(26083, 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(program, before);
        const unsigned restarts = device->RestartCount();
        devsim::FaultOptions faults;
        faults.cutUploadAfter = c.cutAfter;
        if (c.locked)
            faults.lockedFolders = {"/etc/tavo"};
        device->SetFaults(faults);
        if (!connection->Connected())
            Connect();
        status.Clear();
        const DeviceResult result = Run(UploadProgramRequest{{sent.begin(), sent.end()}});
        const UploadReport* report = std::get_if<UploadReport>(&result.value);
        ASSERT_NE(report, nullptr);
        EXPECT_EQ(report->path, c.locked ? UploadReport::Path::InPlace : UploadReport::Path::Sibling);
        EXPECT_EQ(report->installed, c.installed);
        EXPECT_EQ(report->previous, c.previous);
        EXPECT_EQ(result.Ok(), c.installed) << result.error;
        EXPECT_NE(result.error.find(c.said), std::string::npos) << result.error;
        EXPECT_EQ(device->RestartCount(), restarts + (c.installed ? 1 : 0));
        EXPECT_FALSE(std::filesystem::exists(program + ".new"));
        const std::string now = ReadFile(program);
        EXPECT_TRUE(now == (c.installed ? sent : before)) << "neither the program sent nor the old one";
        if (c.installed) {
            ASSERT_TRUE(device->WaitUntil([&] { return !device->Restarting(); }, 20000));
        }
        Run(DisconnectRequest{});
    }
}

// A link that dies while the program is written in place leaves no way to
// write the previous program back: the message says so plainly, with where
// it is kept, and the device is not restarted.
class LinkLostUpload : public DeviceJobs {
protected:
    void Prepare(ConnectionSetup& setup) override {
        history = std::make_unique<ProgramHistory>((folder / "history").string());
        setup.programHistory = history.get();
    }
    std::unique_ptr<ProgramHistory> history;
};

TEST_F(LinkLostUpload, WhileWritingInPlaceSaysTheProgramIsDamagedAndWhereItIsKept) {
    options.faults.lockedFolders = {"/etc/tavo"};
    StartDevice();
    const std::string program = device->HostPath("/etc/tavo/program.tdv");
    const std::string before = ReadFile(program);
    testing::StallingRelay relay(device->SshPort());
    login.port = relay.Port();
    timing.ioTimeout_ms = 1500;
    Connect();
    // The link stops passing bytes once part of the program is through.
    const uint64_t start = relay.ToDevice();
    std::atomic<bool> done{false};
    std::thread cutter([&] {
        while (!done && relay.ToDevice() < start + 12000)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        relay.Stall();
    });
    const std::string sent = Bytes(26083, 5);
    const DeviceResult result = Run(UploadProgramRequest{{sent.begin(), sent.end()}});
    done = true;
    cutter.join();
    const UploadReport* report = std::get_if<UploadReport>(&result.value);
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->path, UploadReport::Path::InPlace);
    EXPECT_EQ(report->previous, UploadReport::Previous::Damaged);
    EXPECT_FALSE(report->installed);
    ASSERT_FALSE(report->keptPath.empty());
    EXPECT_EQ(ReadFile(report->keptPath), before);
    EXPECT_NE(result.error.find(report->keptPath), std::string::npos) << result.error;
    EXPECT_NE(result.error.find("Do not restart the device"), std::string::npos) << result.error;
    EXPECT_FALSE(ReadFile(program) == before);
    EXPECT_EQ(device->RestartCount(), 0u);
}

// Failed uploads keep the device's program once: the history still holds
// the older, different program kept before them.
TEST_F(ProgramUpload, RepeatedFailedUploadsKeepOneCopyAndTheOlderProgramSurvives) {
    const std::string older = "an older, different program";
    history->Keep("127.0.0.1", older.data(), older.size(), UtcTo100ns(2026, 12, 1, 8, 0, 0));
    devsim::FaultOptions faults;
    faults.cutUploadAfter = 1000;
    device->SetFaults(faults);
    for (int i = 0; i < 22; ++i)
        EXPECT_FALSE(Run(UploadProgramRequest{std::vector<uint8_t>(5000, uint8_t(i))}).Ok());
    const auto kept = history->List("127.0.0.1");
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(ReadFile(kept[0].path), before);
    EXPECT_EQ(ReadFile(kept[1].path), older);
}

} // namespace
} // namespace korvex
