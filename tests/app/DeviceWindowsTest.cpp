// The device windows end to end: real dialogs on the offscreen platform, the
// real session thread, and the device simulator on loopback.

#include "AppTestSupport.h"
#include "app/device/ConnectDialog.h"
#include "app/device/DeviceCommands.h"
#include "app/device/HostKeyDialog.h"
#include "app/device/Ipv4Edit.h"
#include "app/device/KeptProgram.h"
#include "app/device/NetworkDialog.h"
#include "app/device/PasswordDialog.h"
#include "app/device/RecordingFile.h"
#include "app/device/RecordingsDialog.h"
#include "app/device/RememberedDevices.h"
#include "app/frame/DeviceWindowSet.h"
#include "app/sinks/DeviceDialogSinks.h"
#include "devicelink/Connection.h"
#include "devicelink/Fakes.h"
#include "devicelink/ProgramHistory.h"
#include "devsim/DeviceSimulator.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "support/FreePort.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTest>
#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace korvex::test {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const uint32_t Loopback = htonl(INADDR_LOOPBACK);

class DeviceWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    void SetUp() override {
        options.rootDir = temp.Path() + "/device";
        options.sshPort = 0;
        options.livePort = 0;
        options.announce = false;
        options.announcePort = FreeUdpPort();
        options.restartSeconds = 1;
        timing.restartStep_ms = 10;
        timing.uploadStep_ms = 10;
        timing.networkStep_ms = 10;
        owner = std::make_unique<QWidget>();
        windows = std::make_unique<DeviceWindowSet>(
            *owner, prompts,
            DeviceWindowSet::Places{temp.Path() + "/history",
                                    QString::fromStdString(temp.Path() + "/devices.ini")});
        history = &windows->History();
        sinks = &windows->Sinks();
        remembered = &windows->Remembered();
        commands = &windows->Commands();
        MakeSession();
    }

    // A new session with `timing` in place of the one there is.
    void MakeSession() {
        if (connection)
            connection->Stop();
        ConnectionSetup setup{.status = status,
                              .devices = devices,
                              .hostKeys = &windows->HostKeys(),
                              .programHistory = history,
                              .results = &windows->Results(),
                              .timing = timing,
                              .reconnectAfterRestart = true};
        setup.knownHostsPath = KnownHostsPath();
        connection = std::make_unique<Connection>(std::move(setup));
        windows->Bind(*connection);
        connection->Start();
    }
    std::string KnownHostsPath() const { return temp.Path() + "/config/known_hosts"; }

    void TearDown() override {
        connection->Stop(); // first: nothing reaches the sinks afterwards
        owner.reset();
        windows.reset();
        connection.reset();
        if (device)
            device->Stop();
    }

    void StartDevice() {
        device = std::make_unique<devsim::DeviceSimulator>(options);
        device->Start();
    }

    // Lets the session finish its job and the posted updates arrive.
    void Settle() {
        ASSERT_TRUE(WaitUntil([&] { return !sinks->Busy(); }, std::chrono::seconds(30), ProcessEvents));
        RunIdle(30);
    }

    // The dialog on screen now, if it is a D.
    template <typename D> D* Active() {
        auto* dialog = qobject_cast<D*>(commands->ActiveDialog());
        return dialog && dialog->isVisible() ? dialog : nullptr;
    }
    void HangCommands() {
        devsim::FaultOptions faults;
        faults.hangCommands = true;
        device->SetFaults(faults);
    }
    // A dialog's field by its dialog's own name for it.
    template <typename W = QWidget> W* Ctl(QDialog* dialog, int id) {
        QWidget* found = nullptr;
        if (auto* c = qobject_cast<ConnectDialog*>(dialog))
            found = c->Control(id);
        else if (auto* n = qobject_cast<NetworkDialog*>(dialog))
            found = n->Control(id);
        else if (auto* r = qobject_cast<RecordingsDialog*>(dialog))
            found = r->Control(id);
        else if (auto* p = qobject_cast<PasswordDialog*>(dialog))
            found = p->Control(id);
        return qobject_cast<W*>(found);
    }

    // Fills the connect dialog and presses OK.
    void FillConnect(const QString& user, const QString& password) {
        commands->Connect(Loopback);
        auto* dialog = Active<ConnectDialog>();
        ASSERT_NE(dialog, nullptr);
        Ctl<QSpinBox>(dialog, ConnectDialog::Port)->setValue(device->SshPort());
        Ctl<QLineEdit>(dialog, ConnectDialog::User)->setText(user);
        Ctl<QLineEdit>(dialog, ConnectDialog::Password)->setText(password);
        dialog->accept();
        Settle();
    }

    // Connects with admin/admin, trusting a first-use key.
    void ConnectTrusting(const QString& password = QStringLiteral("admin")) {
        FillConnect(QStringLiteral("admin"), password);
        if (auto* key = Active<HostKeyDialog>()) {
            key->ActionButton()->click();
            Settle();
        }
        ASSERT_TRUE(sinks->Connected()) << (status.Errors().empty() ? "" : status.Errors().back());
    }

    void ReconnectAfterRestart() {
        ASSERT_TRUE(device->WaitUntil([&] { return !device->Restarting(); }, 20000));
        ASSERT_TRUE(sinks->Post(DisconnectRequest{}));
        Settle();
        ASSERT_TRUE(sinks->RepostConnect());
        Settle();
        ASSERT_TRUE(sinks->Connected());
    }

    TempDir temp;
    ConnectionTiming timing;
    devsim::Options options;
    std::unique_ptr<devsim::DeviceSimulator> device;
    testing::RecordingStatus status;
    DeviceList devices;
    FakePrompter prompts;
    std::unique_ptr<Connection> connection;
    std::unique_ptr<QWidget> owner;
    std::unique_ptr<DeviceWindowSet> windows;
    ProgramHistory* history = nullptr;
    DeviceDialogSinks* sinks = nullptr;
    RememberedDevices* remembered = nullptr;
    DeviceCommands* commands = nullptr;
};

TEST_F(DeviceWindows, ConnectAsksAboutTheKeyFirstThenWrongAndRightPasswordsOnACustomPort) {
    options.password = "Right-Pass1";
    StartDevice();
    commands->Connect(Loopback);
    auto* dialog = Active<ConnectDialog>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Ctl<Ipv4Edit>(dialog, ConnectDialog::Address)->text(), "127.0.0.1");
    EXPECT_EQ(Ctl<QSpinBox>(dialog, ConnectDialog::Port)->value(), 22);
    EXPECT_TRUE(Ctl<QLineEdit>(dialog, ConnectDialog::User)->text().isEmpty());
    EXPECT_EQ(Ctl<QLineEdit>(dialog, ConnectDialog::Password)->maxLength(), 99);
    // A half-typed address is refused in the dialog.
    Ctl<Ipv4Edit>(dialog, ConnectDialog::Address)->setText("127.0.0");
    Ctl<QLineEdit>(dialog, ConnectDialog::User)->setText("admin");
    dialog->accept();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(Ctl<Ipv4Edit>(dialog, ConnectDialog::Address)->Marked());
    EXPECT_FALSE(sinks->Busy());
    dialog->reject();

    FillConnect("admin", "wrong");
    auto* key = Active<HostKeyDialog>();
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->GetKind(), HostKeyDialog::NewKey);
    EXPECT_EQ(key->findChild<QLabel*>("keyType")->text(), "ecdsa-sha2-nistp256");
    EXPECT_TRUE(key->findChild<QLabel*>("offeredFingerprint")->text().startsWith("SHA256:"));
    EXPECT_EQ(device->AuthFailures(), 0u); // nothing sent before the key is accepted
    EXPECT_FALSE(fs::exists(KnownHostsPath()));
    key->ActionButton()->click();
    Settle();
    EXPECT_TRUE(fs::exists(KnownHostsPath()));
    EXPECT_EQ(device->AuthFailures(), 1u);
    EXPECT_FALSE(sinks->Connected());
    ASSERT_FALSE(status.Errors().empty());
    EXPECT_EQ(status.Errors().back(), LoadTextA(text::session_login_failed));
    EXPECT_TRUE(remembered->All().isEmpty());

    FillConnect("admin", "Right-Pass1");
    EXPECT_EQ(Active<HostKeyDialog>(), nullptr); // the key is on record now
    ASSERT_TRUE(sinks->Connected());
    EXPECT_NE(status.Texts().back().find(LoadTextA(text::status_firmware_version) + ": 2.1.0"),
              std::string::npos);
    RunIdle(150); // the watch that remembers the device
    const auto known = remembered->All();
    ASSERT_EQ(known.size(), 1);
    EXPECT_EQ(known[0].address, "127.0.0.1");
    EXPECT_EQ(known[0].port, device->SshPort());
    EXPECT_EQ(known[0].user, "admin");
    EXPECT_EQ(ReadFile(remembered->File().toStdString()).find("Right-Pass1"),
              std::string::npos); // never kept
    // The next connect dialog for this address comes preset with port and user.
    ASSERT_TRUE(sinks->Post(DisconnectRequest{}));
    Settle();
    commands->Connect(Loopback);
    EXPECT_EQ(Ctl<QSpinBox>(Active<ConnectDialog>(), ConnectDialog::Port)->value(), device->SshPort());
    EXPECT_EQ(Ctl<QLineEdit>(Active<ConnectDialog>(), ConnectDialog::User)->text(), "admin");
}

TEST_F(DeviceWindows, TheWindowsSideKeepsTheLoginItPostedAndRefusesWhatNeedsASession) {
    // Before any connect there is no login to repeat or compare with.
    EXPECT_FALSE(sinks->RepostConnect());
    EXPECT_EQ(sinks->UserName(), "");
    EXPECT_EQ(sinks->DeviceAddressText(), "");
    EXPECT_FALSE(sinks->PasswordIs("admin"));
    // Not connected: only connect, disconnect and the network read are posted.
    EXPECT_FALSE(sinks->Post(RestartRequest{}));
    EXPECT_FALSE(sinks->Post(ChangePasswordRequest{"x"}));
    EXPECT_FALSE(sinks->Post(ListLevelRequest{}));
    EXPECT_FALSE(sinks->Post(DownloadProgramRequest{temp.Path() + "/p.kvx"}));
    EXPECT_EQ(connection->PendingJob(), JobNone);

    StartDevice();
    ConnectTrusting();
    EXPECT_EQ(sinks->UserName(), "admin");
    EXPECT_EQ(sinks->DeviceAddressText(), "127.0.0.1");
    EXPECT_TRUE(sinks->PasswordIs("admin"));
    // A request refused while a job is pending leaves the login as it was.
    ASSERT_TRUE(sinks->Post(RestartRequest{}));
    EXPECT_FALSE(sinks->Post(ConnectDeviceRequest{0x0100007Fu, 2222, "other", "secret", ""}));
    EXPECT_FALSE(sinks->Post(ChangePasswordRequest{"new one"}));
    EXPECT_EQ(sinks->UserName(), "admin");
    EXPECT_TRUE(sinks->PasswordIs("admin"));
    Settle();
}

TEST_F(DeviceWindows, ChangedKeyIsRefusedAndRemovedOnlyAfterASecondYes) {
    StartDevice();
    ConnectTrusting();
    const uint16_t port = device->SshPort();
    ASSERT_TRUE(sinks->Post(DisconnectRequest{}));
    Settle();
    device->Stop();
    ASSERT_TRUE(fs::remove(options.rootDir + "/etc/tavo/ssh_host_key"));
    options.sshPort = port;
    StartDevice();
    const std::string recorded = ReadFile(KnownHostsPath());

    FillConnect("admin", "admin");
    auto* refused = Active<HostKeyDialog>();
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->GetKind(), HostKeyDialog::ChangedKey);
    const QString before = refused->findChild<QLabel*>("recordedFingerprint")->text();
    const QString now = refused->findChild<QLabel*>("offeredFingerprint")->text();
    EXPECT_TRUE(before.startsWith("SHA256:"));
    EXPECT_NE(before, now);
    EXPECT_EQ(device->AuthFailures(), 0u);
    EXPECT_FALSE(sinks->Connected());
    EXPECT_TRUE(status.Errors().empty());

    prompts.warningAnswer = false; // second question answered No: nothing removed
    refused->ActionButton()->click();
    Settle();
    EXPECT_EQ(prompts.warnings.size(), 1u);
    EXPECT_EQ(ReadFile(KnownHostsPath()), recorded);
    EXPECT_FALSE(sinks->Connected());

    FillConnect("admin", "admin");
    prompts.warningAnswer = true;
    Active<HostKeyDialog>()->ActionButton()->click();
    Settle();
    // Connecting again meets the new key as a first contact.
    auto* fresh = Active<HostKeyDialog>();
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->GetKind(), HostKeyDialog::NewKey);
    EXPECT_EQ(fresh->findChild<QLabel*>("offeredFingerprint")->text(), now);
    fresh->ActionButton()->click();
    Settle();
    EXPECT_TRUE(sinks->Connected());
}

TEST_F(DeviceWindows, NetworkSettingsReadRefuseBadValuesThenWriteAndRestart) {
    options.cameraCount = 2;
    StartDevice();
    ConnectTrusting();
    commands->NetworkSettings();
    auto* dialog = Active<NetworkDialog>();
    ASSERT_NE(dialog, nullptr);
    Settle();
    EXPECT_EQ(Ctl<Ipv4Edit>(dialog, NetworkDialog::DeviceAddress)->text(), "192.168.0.20");
    EXPECT_EQ(Ctl<Ipv4Edit>(dialog, NetworkDialog::Netmask)->text(), "255.255.255.0");
    EXPECT_EQ(Ctl<Ipv4Edit>(dialog, NetworkDialog::Gateway)->text(), "192.168.0.1");
    EXPECT_EQ(Ctl<QLineEdit>(dialog, NetworkDialog::HardwareAddress)->text(), "02:4B:56:00:00:01");
    EXPECT_TRUE(Ctl(dialog, NetworkDialog::DeviceAddress)->isEnabled());
    EXPECT_FALSE(Ctl<QCheckBox>(dialog, NetworkDialog::ControllerUsed)->isChecked());
    EXPECT_FALSE(Ctl(dialog, NetworkDialog::Controller)->isEnabled());
    EXPECT_TRUE(Ctl(dialog, NetworkDialog::CameraAddress0)->isEnabled());
    EXPECT_EQ(Ctl<Ipv4Edit>(dialog, NetworkDialog::CameraAddress0 + 1)->text(), "192.168.0.102");
    EXPECT_EQ(Ctl<QLineEdit>(dialog, NetworkDialog::CameraChannel0 + 1)->text(), "2");
    EXPECT_FALSE(
        Ctl(dialog, NetworkDialog::CameraAddress0 + 2)->isEnabled()); // only the device's two cameras
    Ctl<QCheckBox>(dialog, NetworkDialog::ControllerUsed)->setChecked(true);
    EXPECT_TRUE(Ctl(dialog, NetworkDialog::Controller)->isEnabled());

    const size_t commandsBefore = device->Commands().size();
    struct Bad {
        int control;
        const char* text;
    };
    using N = NetworkDialog;
    for (Bad bad : {Bad{N::Netmask, "255.0.255.0"}, Bad{N::Netmask, "255.255.255.255"},
                    Bad{N::DeviceAddress, "0.0.0.0"}, Bad{N::Gateway, "255.255.255.255"},
                    Bad{N::DeviceAddress, "224.1.2.3"}, Bad{N::Controller, "239.0.0.1"},
                    Bad{N::CameraAddress0, "192.168.0"}}) {
        Ipv4Edit* edit = Ctl<Ipv4Edit>(dialog, bad.control);
        const QString good = edit->text();
        edit->setText(bad.text);
        prompts.errors.clear();
        dialog->accept();
        EXPECT_TRUE(dialog->isVisible()) << bad.text;
        EXPECT_TRUE(edit->Marked()) << bad.text;
        EXPECT_EQ(prompts.errors.size(), 1u) << bad.text;
        EXPECT_FALSE(sinks->Busy()) << bad.text;
        edit->setText(bad.control == N::Controller ? QStringLiteral("192.168.0.5") : good);
    }
    EXPECT_EQ(device->Commands().size(), commandsBefore);

    Ctl<Ipv4Edit>(dialog, NetworkDialog::Netmask)->setText("255.255.0.0");
    Ctl<QLineEdit>(dialog, NetworkDialog::CameraChannel0)->setText("3");
    dialog->accept();
    EXPECT_EQ(Active<NetworkDialog>(), nullptr);
    Settle();
    ASSERT_TRUE(status.Errors().empty()) << status.Errors().front();
    EXPECT_EQ(status.Messages().back(), text::network_written);
    bool written = false;
    for (const auto& c : device->Commands())
        written |=
            c.command ==
            "/tavo/ipconfig --proto static --ipaddr 192.168.0.20 --netmask 255.255.0.0 --gateway 192.168.0.1";
    EXPECT_TRUE(written);
    EXPECT_EQ(ReadFile(device->HostPath("/tavo/controller")), "192.168.0.5");
    EXPECT_EQ(ReadFile(device->HostPath("/tavo/cam0")), "192.168.0.101?channel=3");
    EXPECT_EQ(device->RestartCount(), 1u);
}

TEST_F(DeviceWindows, NetworkDialogMarksMissingValuesAndAsksAboutAForeignGateway) {
    options.faults.hiddenSettings = {"netmask"};
    StartDevice();
    ConnectTrusting();
    commands->NetworkSettings();
    auto* dialog = Active<NetworkDialog>();
    ASSERT_NE(dialog, nullptr);
    Settle();
    Ipv4Edit* netmask = Ctl<Ipv4Edit>(dialog, NetworkDialog::Netmask);
    EXPECT_TRUE(netmask->text().isEmpty());
    EXPECT_TRUE(netmask->Marked());
    dialog->accept(); // nothing is written in place of the unreadable value
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(prompts.errors.size(), 1u);
    EXPECT_FALSE(sinks->Busy());

    // The network's own address is refused by the session's check.
    netmask->setText("255.255.255.0");
    Ctl<Ipv4Edit>(dialog, NetworkDialog::DeviceAddress)->setText("192.168.0.0");
    dialog->accept();
    EXPECT_EQ(prompts.errors.size(), 2u);
    EXPECT_TRUE(Ctl<Ipv4Edit>(dialog, NetworkDialog::DeviceAddress)->Marked());
    EXPECT_FALSE(sinks->Busy());

    // A gateway outside the network is written only once confirmed.
    Ctl<Ipv4Edit>(dialog, NetworkDialog::DeviceAddress)->setText("192.168.0.30");
    Ctl<Ipv4Edit>(dialog, NetworkDialog::Gateway)->setText("10.0.0.1");
    prompts.warningAnswer = false;
    dialog->accept();
    EXPECT_EQ(prompts.warnings.size(), 1u);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(sinks->Busy());
    prompts.warningAnswer = true;
    dialog->accept();
    EXPECT_EQ(Active<NetworkDialog>(), nullptr);
    Settle();
    bool written = false;
    for (const auto& c : device->Commands())
        written |=
            c.command ==
            "/tavo/ipconfig --proto static --ipaddr 192.168.0.30 --netmask 255.255.255.0 --gateway 10.0.0.1";
    EXPECT_TRUE(written);
}

TEST_F(DeviceWindows, NetworkDialogOpenedWhileBusyShowsTheErrorAndCloses) {
    timing.restartStep_ms = 40; // the restart job keeps the session busy for 3 s
    MakeSession();
    StartDevice();
    ConnectTrusting();
    ASSERT_TRUE(sinks->Post(RestartRequest{}));
    commands->NetworkSettings();
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(prompts.errors[0], QString::fromStdString(LoadTextA(text::network_device_busy)));
    RunIdle(30);
    EXPECT_EQ(Active<NetworkDialog>(), nullptr);
    Settle();
}

TEST_F(DeviceWindows, RecordingsListedLevelByLevelAndTwoDownloadedByteIdentical) {
    StartDevice();
    ConnectTrusting();
    commands->Recordings();
    auto* dialog = Active<RecordingsDialog>();
    ASSERT_NE(dialog, nullptr);
    const std::string local = temp.Path() + "/copies";
    Ctl<QLineEdit>(dialog, RecordingsDialog::LocalFolder)->setText(QString::fromStdString(local));
    Ctl<QPushButton>(dialog, RecordingsDialog::List)->click();
    Settle();
    auto lines = [&](int level) {
        QStringList l;
        for (int i = 0; i < dialog->Level(level)->count(); ++i)
            l << dialog->Level(level)->item(i)->data(Qt::UserRole).toString();
        return l;
    };
    EXPECT_EQ(lines(0), QStringList({"Camera A (cam1)", "Camera B (cam2)"}));
    dialog->Level(0)->item(1)->setSelected(true);
    Settle();
    EXPECT_EQ(lines(1), QStringList({"2026-12-06", "2026-12-07"}));
    dialog->Level(1)->item(0)->setSelected(true);
    Settle();
    EXPECT_EQ(lines(2), QStringList({"08:00", "09:00"}));
    dialog->Level(2)->item(1)->setSelected(true);
    Settle();
    EXPECT_EQ(lines(3), QStringList({"09-00-00.mp4", "09-15-00.mp4"}));
    dialog->Level(3)->item(0)->setSelected(true);
    dialog->Level(3)->item(1)->setSelected(true);
    Ctl<QPushButton>(dialog, RecordingsDialog::Download)->click();
    Settle();
    ASSERT_TRUE(status.Errors().empty())
        << status.Errors().front() << " " << (lines(3).join(",")).toStdString();
    for (const char* name : {"09-00-00.mp4", "09-15-00.mp4"}) {
        const std::string relative = std::string("cam2/2026-12-06/09/") + name;
        EXPECT_EQ(ReadFile(local + "/" + relative), ReadFile(device->HostPath("/mnt/usbdrive/" + relative)))
            << name;
    }
    EXPECT_EQ(lines(3), QStringList({"09-00-00.mp4  [S]", "09-15-00.mp4  [S]"}));
    EXPECT_EQ(lines(0), QStringList({"Camera A (cam1)", "Camera B (cam2)  [S]"}));
    EXPECT_EQ(lines(2), QStringList({"08:00", "09:00  [S]"}));
    EXPECT_EQ(status.Messages().back(), text::recordings_downloaded);
}

TEST_F(DeviceWindows, RecordingsFolderIsNormalised) {
    EXPECT_EQ(RecordingsDialog::NormalisedFolder(""), "");
    EXPECT_EQ(RecordingsDialog::NormalisedFolder("  /data/rec  "), "/data/rec/");
    EXPECT_EQ(RecordingsDialog::NormalisedFolder("/data/rec/"), "/data/rec/");
    EXPECT_EQ(RecordingsDialog::NormalisedFolder("/data/x/../rec/."), "/data/rec/");
    EXPECT_EQ(RecordingsDialog::NormalisedFolder("~/rec"), (QDir::homePath() + "/rec/").toStdString());
}

TEST_F(DeviceWindows, ClosingTheRecordingsDialogWhileAListingHangsLeavesNoDanglingSink) {
    timing.ioTimeout_ms = 1500;
    MakeSession();
    StartDevice();
    ConnectTrusting();
    HangCommands();
    commands->Recordings();
    QPointer<RecordingsDialog> dialog = Active<RecordingsDialog>();
    Ctl<QPushButton>(dialog, RecordingsDialog::List)->click();
    QTest::qWait(100);
    EXPECT_TRUE(sinks->Busy());
    dialog->reject();
    RunIdle(30);
    EXPECT_TRUE(dialog.isNull()); // gone while the session still lists
    Settle();                     // the listing ends (time-out) and its lists go nowhere
    EXPECT_NE(status.Messages().back(), text::recordings_listing_cameras);
}

TEST_F(DeviceWindows, PasswordChecksThenTheChangeIsSeenByAReconnect) {
    StartDevice();
    ConnectTrusting();
    commands->ChangePassword();
    auto* dialog = Active<PasswordDialog>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Ctl<QLineEdit>(dialog, PasswordDialog::User)->text(), "admin");
    Ctl<QLineEdit>(dialog, PasswordDialog::Current)->setText("Admin");
    Ctl<QLineEdit>(dialog, PasswordDialog::New)->setText("s3cret");
    Ctl<QLineEdit>(dialog, PasswordDialog::Repeat)->setText("s3cret");
    dialog->accept();
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(prompts.errors[0], QString::fromStdString(LoadTextA(text::password_current_wrong)));
    Ctl<QLineEdit>(dialog, PasswordDialog::Current)->setText("admin");
    Ctl<QLineEdit>(dialog, PasswordDialog::Repeat)->setText("s3cret ");
    dialog->accept();
    ASSERT_EQ(prompts.errors.size(), 2u);
    EXPECT_EQ(prompts.errors[1], QString::fromStdString(LoadTextA(text::password_mismatch)));
    EXPECT_TRUE(dialog->isVisible());
    Ctl<QLineEdit>(dialog, PasswordDialog::Repeat)->setText("s3cret");
    dialog->accept();
    Settle();
    EXPECT_EQ(status.Messages().back(), text::password_changed);
    EXPECT_EQ(device->Password(), "s3cret");
    ASSERT_TRUE(sinks->Post(DisconnectRequest{}));
    Settle();
    FillConnect("admin", "admin");
    EXPECT_FALSE(sinks->Connected());
    FillConnect("admin", "s3cret");
    EXPECT_TRUE(sinks->Connected());
}

TEST_F(DeviceWindows, ProgramDownloadAsksFirstAndRestoreUploadsTheKeptProgramBack) {
    StartDevice();
    ConnectTrusting();
    const std::string devicePath = device->HostPath("/etc/tavo/program.tdv");
    const std::string original = ReadFile(devicePath);
    QString asked;
    commands->askSaveFile = [&](QWidget*, const QString&, const QString&, const QString& initial) {
        asked = initial;
        return QString::fromStdString(temp.Path() + "/copy");
    };
    commands->DownloadProgram();
    EXPECT_TRUE(asked.endsWith(QString::fromStdString("/" + LoadTextA(text::program_default_file_name))))
        << asked.toStdString();
    Settle();
    EXPECT_EQ(ReadFile(temp.Path() + "/copy.kvx"), original);
    EXPECT_EQ(status.Messages().back(), text::program_downloaded);
    // Cancelled: nothing is fetched.
    commands->askSaveFile = [](QWidget*, const QString&, const QString&, const QString&) {
        return QString();
    };
    const size_t transfers = device->Transfers().size();
    commands->DownloadProgram();
    Settle();
    EXPECT_EQ(device->Transfers().size(), transfers);

    // Nothing kept yet: restore says so.
    commands->RestoreProgram();
    EXPECT_EQ(prompts.infos.size(), 1u);
    ASSERT_TRUE(sinks->Post(UploadProgramRequest{{'n', 'e', 'w'}}));
    Settle();
    EXPECT_EQ(ReadFile(devicePath), "new");
    ASSERT_EQ(history->List("127.0.0.1").size(), 1u);
    ReconnectAfterRestart();

    prompts.warningAnswer = false;
    commands->RestoreProgram();
    EXPECT_FALSE(sinks->Busy());
    prompts.warningAnswer = true;
    commands->RestoreProgram();
    Settle();
    EXPECT_EQ(ReadFile(devicePath), original);
    const auto kept = history->List("127.0.0.1");
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(ReadFile(kept[0].path), "new"); // the step can be undone the same way
}

TEST_F(DeviceWindows, NetworkDialogClosedMidReadIsLeftAloneAndTheNextOneIsFilled) {
    StartDevice();
    ConnectTrusting();
    commands->NetworkSettings();
    QPointer<NetworkDialog> first = Active<NetworkDialog>();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(sinks->Busy());
    first->reject(); // the read goes on; what it reports reaches nobody
    Settle();
    EXPECT_TRUE(first.isNull());
    commands->NetworkSettings();
    auto* second = Active<NetworkDialog>();
    ASSERT_NE(second, nullptr);
    Settle();
    EXPECT_EQ(Ctl<Ipv4Edit>(second, NetworkDialog::DeviceAddress)->text(), "192.168.0.20");
    second->reject();
}

TEST_F(DeviceWindows, StoppingTheSessionWithADialogOpenOnAHangingReadEnds) {
    StartDevice();
    ConnectTrusting();
    HangCommands();
    commands->NetworkSettings();
    ASSERT_NE(Active<NetworkDialog>(), nullptr);
    QTest::qWait(100);
    EXPECT_TRUE(sinks->Busy());
    connection->Stop(); // bounded: the session never waits for the dialog
    EXPECT_FALSE(connection->Connected());
    RunIdle(30);
}

// ---- The site day: logging in again after a restart, the network dialog's
// write button and fields, the devices used before, recordings' folder.

TEST_F(DeviceWindows, TheSessionLogsInAgainWhenTheDeviceIsBackFromARestart) {
    timing.reconnectStep_ms = 50;
    timing.restartStep_ms = 40; // the restart's own wait outlasts the device's second away
    MakeSession();
    StartDevice();
    ConnectTrusting();
    const std::vector<std::pair<const char*, DeviceRequest>> jobs = {
        {"restart", RestartRequest{}},
        {"upload", UploadProgramRequest{std::vector<uint8_t>(64, 1)}},
    };
    unsigned restarts = device->RestartCount();
    for (const auto& [name, request] : jobs) {
        status.Clear();
        const size_t stagesBefore = status.Stages().size();
        ASSERT_TRUE(sinks->Post(request)) << name;
        Settle();
        EXPECT_TRUE(sinks->Connected()) << name;
        EXPECT_EQ(device->RestartCount(), ++restarts) << name;
        const std::vector<RestartStage> all = status.Stages();
        const std::vector<RestartStage> stages(all.begin() + long(stagesBefore), all.end());
        EXPECT_EQ(stages, (std::vector<RestartStage>{RestartStage::Restarting, RestartStage::Waiting,
                                                     RestartStage::ConnectedAgain}))
            << name;
        ASSERT_FALSE(status.Texts().empty()) << name;
        EXPECT_EQ(status.Texts().back().rfind(LoadTextA(text::reconnect_connected_again), 0), 0u)
            << name << ": " << status.Texts().back();
        // The session is a working one: the network read runs on it.
        EXPECT_TRUE(connection->Submit(ReadNetworkRequest{}).get().Ok()) << name;
    }
}

TEST_F(DeviceWindows, ADeviceThatStaysAwayIsReportedAndStoppingDuringTheWaitEnds) {
    // The restart job itself finds the device gone: one more ask, then the
    // failure with its reason.
    options.restartSeconds = 600;
    timing.reconnectTimeout_ms = 200;
    MakeSession();
    StartDevice();
    ConnectTrusting();
    ASSERT_TRUE(sinks->Post(RestartRequest{}));
    Settle();
    EXPECT_FALSE(sinks->Connected());
    ASSERT_FALSE(status.Stages().empty());
    EXPECT_EQ(status.Stages().back(), RestartStage::Failed);
    const std::string failed = LoadTextA(text::reconnect_failed);
    EXPECT_EQ(status.Texts().back().rfind(failed.substr(0, failed.find("%1")), 0), 0u)
        << status.Texts().back();

    // An upload's restart leaves a long wait for the device; stopping the
    // session during it ends the wait.
    device->Stop();
    options.restartSeconds = 600;
    StartDevice();
    ASSERT_NO_FATAL_FAILURE(ConnectTrusting());
    ASSERT_TRUE(sinks->Post(UploadProgramRequest{std::vector<uint8_t>(64, 2)}));
    ASSERT_TRUE(
        WaitUntil([&] { return !status.Stages().empty() && status.Stages().back() == RestartStage::Waiting; },
                  std::chrono::seconds(30), ProcessEvents));
    connection->Stop();
    EXPECT_FALSE(connection->Connected());
}

TEST_F(DeviceWindows, NetworkDialogWritesAndRestartsOnlyFromItsButtonAndListsEveryCamera) {
    options.cameraCount = 4; // the demo device's four cameras
    StartDevice();
    ConnectTrusting();
    const std::string connectedText = status.Texts().back();
    EXPECT_NE(connectedText.find(LoadTextA(text::status_cameras) + ": 4"), std::string::npos)
        << connectedText;
    commands->NetworkSettings();
    auto* dialog = Active<NetworkDialog>();
    ASSERT_NE(dialog, nullptr);
    Settle();
    // As many camera rows in use as the device has cameras, each with its address.
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(Ctl(dialog, NetworkDialog::CameraAddress0 + i)->isEnabled()) << i;
        EXPECT_FALSE(Ctl<Ipv4Edit>(dialog, NetworkDialog::CameraAddress0 + i)->text().isEmpty()) << i;
    }
    EXPECT_EQ(Ctl<QPushButton>(dialog, NetworkDialog::WriteButton)->text(),
              QString::fromStdString(LoadTextA(text::device_network_write_restart)));
    // Enter in a field goes on to the next field; nothing is written.
    dialog->activateWindow();
    const size_t commandsBefore = device->Commands().size();
    struct Step {
        int from, to;
    };
    for (Step step : {Step{NetworkDialog::DeviceAddress, NetworkDialog::Netmask},
                      Step{NetworkDialog::Netmask, NetworkDialog::Gateway},
                      Step{NetworkDialog::CameraAddress0, NetworkDialog::CameraChannel0}}) {
        Ctl(dialog, step.from)->setFocus();
        QTest::keyClick(Ctl(dialog, step.from), Qt::Key_Return);
        EXPECT_EQ(dialog->focusWidget(), Ctl(dialog, step.to)) << step.from;
        EXPECT_TRUE(dialog->isVisible()) << step.from;
        EXPECT_FALSE(sinks->Busy()) << step.from;
    }
    EXPECT_EQ(device->Commands().size(), commandsBefore);
    EXPECT_EQ(device->RestartCount(), 0u);
    dialog->reject();
}

TEST_F(DeviceWindows, TheConnectDialogListsTheDevicesUsedBeforeWhole) {
    const QString alias = QStringLiteral("North gate, camera mast 3 beside the weighbridge office");
    remembered->Remember("10.20.30.40", 2222, "installer.engineer", alias);
    remembered->Remember("192.168.0.7", 22, "admin", "Yard");
    commands->Connect(0);
    auto* dialog = Active<ConnectDialog>();
    ASSERT_NE(dialog, nullptr);
    auto* list = Ctl<QListWidget>(dialog, ConnectDialog::UsedBefore);
    ASSERT_NE(list, nullptr);
    RunIdle(30);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "admin@192.168.0.7 (Yard)");
    EXPECT_EQ(list->item(1)->text(), "installer.engineer@10.20.30.40:2222 (" + alias + ")");
    for (int i = 0; i < list->count(); ++i)
        EXPECT_LE(list->fontMetrics().horizontalAdvance(list->item(i)->text()), list->viewport()->width())
            << list->item(i)->text().toStdString();
    list->setCurrentRow(1);
    EXPECT_EQ(Ctl<Ipv4Edit>(dialog, ConnectDialog::Address)->text(), "10.20.30.40");
    EXPECT_EQ(Ctl<QSpinBox>(dialog, ConnectDialog::Port)->value(), 2222);
    EXPECT_EQ(Ctl<QLineEdit>(dialog, ConnectDialog::User)->text(), "installer.engineer");
    dialog->reject();
}

TEST_F(DeviceWindows, RecordingsGoToTheDevicesVideosFolderAndSayWhere) {
    // The user's videos folder of this test.
    const std::string config = temp.Path() + "/xdg";
    fs::create_directories(config);
    std::ofstream(config + "/user-dirs.dirs") << "XDG_VIDEOS_DIR=\"" << temp.Path() << "/Videos\"\n";
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    StartDevice();
    ConnectTrusting();
    commands->Recordings();
    auto* dialog = Active<RecordingsDialog>();
    ASSERT_NE(dialog, nullptr);
    Ctl<QLineEdit>(dialog, RecordingsDialog::LocalFolder)->clear();
    const QString folder = RecordingsDialog::DefaultFolder("127.0.0.1");
    EXPECT_EQ(folder, QString::fromStdString(temp.Path() + "/Videos/Korvex/127.0.0.1"));
    QString opened;
    dialog->openFolder = [&](const QString& path) { opened = path; };
    Ctl<QPushButton>(dialog, RecordingsDialog::List)->click();
    Settle();
    for (int level = 0; level < 3; ++level) {
        ASSERT_GT(dialog->Level(level)->count(), 0) << level;
        dialog->Level(level)->item(0)->setSelected(true);
        Settle();
    }
    ASSERT_EQ(dialog->Level(3)->count(), 2);
    dialog->Level(3)->item(1)->setSelected(true);
    Ctl<QPushButton>(dialog, RecordingsDialog::Download)->click();
    Settle();
    const QString hour = folder + "/cam1/2026-12-06/08";
    const std::string copy = (hour + "/08-15-00.mp4").toStdString();
    EXPECT_EQ(ReadFile(copy), ReadFile(device->HostPath("/mnt/usbdrive/cam1/2026-12-06/08/08-15-00.mp4")));
    EXPECT_TRUE(
        WaitUntil([&] { return dialog->SavedNote().isVisible(); }, std::chrono::seconds(10), ProcessEvents));
    EXPECT_TRUE(dialog->SavedNote().text().contains(hour)) << dialog->SavedNote().text().toStdString();
    dialog->OpenButton().click();
    EXPECT_EQ(opened, hour);
    // The copy's line tells its size (and that these test files give no length).
    EXPECT_EQ(dialog->Level(3)->item(1)->text(),
              "08-15-00.mp4  [S]  \u2014  " + RecordingFacts(QString::fromStdString(copy)));
    EXPECT_TRUE(RecordingFacts(QString::fromStdString(copy))
                    .endsWith(QString::fromStdString(LoadTextA(text::device_recordings_unknown_duration))));
    EXPECT_EQ(dialog->Level(3)->item(0)->text(), "08-00-00.mp4");
    dialog->reject();
    qunsetenv("XDG_CONFIG_HOME");
}

} // namespace
} // namespace korvex::test
