// Naming kept programs by date, time and device, and reading a recording's
// length from its MP4 movie header.
#include "AppTestSupport.h"
#include "app/common/Commands.h"
#include "app/common/UiText.h"
#include "app/device/KeptProgram.h"
#include "app/device/RecordingFile.h"
#include "app/frame/MainFrame.h"
#include "app/frame/TabView.h"
#include "app/session/DeviceSession.h"
#include "app/widgets/StatusBar.h"
#include "devicelink/Connection.h"
#include "devicelink/ProgramHistory.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "support/TempDir.h"

#include <QLabel>
#include <fstream>
#include <optional>

namespace korvex::test {
namespace {

TEST(SiteDay, KeptProgramsAreNamedByTheirDateTimeAndDevice) {
    EnsureApplication();
    const uint64_t kept = 133'000'000'000'000'000ull; // 100-ns units since 1601
    const std::string name = ProgramHistory::EntryName(kept);
    const QDateTime local =
        QDateTime::fromMSecsSinceEpoch(qint64(kept / 10000 - 11644473600000ull), Qt::UTC).toLocalTime();
    const QString label = KeptProgramLabel(name, "10.0.0.5 (Gate 3)");
    EXPECT_EQ(label, QString::fromStdString(
                         FillText(LoadTextA(text::device_kept_program),
                                  {local.toString("yyyy-MM-dd").toStdString(),
                                   local.toString("HH:mm:ss").toStdString(), "10.0.0.5 (Gate 3)"})));
    EXPECT_FALSE(label.contains(".kvx"));
    for (const char* other : {"20261399T001301.132Z.kvx", "notes.kvx", "20261208T001301.132Z.kvx.bak"})
        EXPECT_FALSE(KeptProgramTime(other).isValid()) << other;
}

// An MP4 file of boxes: "ftyp", then "moov" holding "mvhd" of `version`.
std::string Mp4(int version, uint64_t timescale, uint64_t duration, int cut = 0) {
    auto be = [](uint64_t v, int bytes) {
        std::string s;
        for (int i = bytes - 1; i >= 0; --i)
            s += char((v >> (8 * i)) & 255);
        return s;
    };
    auto box = [&](const char* type, const std::string& body) {
        return be(body.size() + 8, 4) + type + body;
    };
    const std::string times = version == 1 ? std::string(16, '\0') : std::string(8, '\0');
    const std::string mvhd = std::string(1, char(version)) + std::string(3, '\0') + times + be(timescale, 4) +
                             be(duration, version == 1 ? 8 : 4) + std::string(80, '\0');
    std::string file = box("ftyp", "isom") + box("moov", box("mvhd", mvhd));
    return file.substr(0, file.size() - size_t(cut));
}

TEST(SiteDay, Mp4LengthComesFromTheMovieHeader) {
    struct Case {
        const char* name;
        std::string bytes;
        std::optional<double> seconds;
    };
    TempDir temp;
    std::string lying = Mp4(0, 1000, 15000);
    lying[0] = char(0x7F); // "ftyp" claims more than the file holds
    const Case cases[] = {
        {"version 0", Mp4(0, 1000, 15000), 15.0},
        {"version 1", Mp4(1, 90000, 90000ull * 3725), 3725.0},
        {"cut short", Mp4(0, 1000, 15000, 60), std::nullopt},
        {"no timescale", Mp4(0, 0, 15000), std::nullopt},
        {"box larger than the file", lying, std::nullopt},
        {"not mp4", std::string("recording cam1\n") + std::string(100, 'a'), std::nullopt},
    };
    for (const Case& c : cases) {
        const std::string path = temp.Path() + "/clip.mp4";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes;
        EXPECT_EQ(Mp4DurationSeconds(QString::fromStdString(path)), c.seconds) << c.name;
    }
    std::ofstream(temp.Path() + "/clip.mp4", std::ios::binary | std::ios::trunc)
        << Mp4(1, 90000, 90000ull * 3725);
    EXPECT_TRUE(RecordingFacts(QString::fromStdString(temp.Path() + "/clip.mp4")).endsWith("1:02:05"));
}

// A frame that takes itself for connected (no device behind it).
class ConnectedFrame : public MainFrame {
public:
    using MainFrame::MainFrame;

protected:
    bool DeviceConnected() override { return true; }
};

TEST(SiteDay, RestartIsAskedFirstAndTheLivePageFollowsTheDevicesRestart) {
    EnsureApplication();
    FakePrompter prompts;
    FrameOptions options;
    options.prompter = &prompts;
    options.startWorkers = false;
    ConnectedFrame frame(options);
    frame.Create();
    prompts.warningAnswer = false; // No: the device keeps detecting
    frame.OnCommand(CmdRestart);
    ASSERT_EQ(prompts.warnings.size(), 1u);
    EXPECT_EQ(prompts.warnings[0], Text(text::device_restart_question));
    EXPECT_EQ(frame.Devices().Session().PendingJob(), 0);

    // The session's stages of a restart, as its status forwarder delivers them.
    QLabel& banner = frame.Tabs().LiveBanner();
    struct Step {
        RestartStage stage;
        bool bannerShown;
        size_t offers; // questions offering to connect so far
    };
    for (Step step : {Step{RestartStage::Restarting, true, 0}, Step{RestartStage::Waiting, true, 0},
                      Step{RestartStage::ConnectedAgain, false, 0}, Step{RestartStage::Restarting, true, 0},
                      Step{RestartStage::Failed, false, 1}, Step{RestartStage::Restarting, true, 1},
                      Step{RestartStage::NotRestarted, false, 1}}) {
        frame.Status().ShowRestart(int(step.stage), QStringLiteral("the device did not answer within 90 s"));
        EXPECT_EQ(!banner.isHidden(), step.bannerShown) << int(step.stage);
        EXPECT_EQ(prompts.warnings.size(), 1 + step.offers) << int(step.stage);
        if (step.bannerShown) {
            EXPECT_EQ(banner.text(), Text(text::live_device_restarting));
        }
    }
    EXPECT_TRUE(prompts.warnings.back().contains("the device did not answer within 90 s"));
    frame.StopThreads();
}

} // namespace
} // namespace korvex::test
