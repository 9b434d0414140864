// Opens each device window of Korvex against the device simulator (started
// in-process on loopback) and saves a PNG picture of each, filled with what
// the demo device holds.
// korvex_device_screenshots <output folder>
// Meant to run under a virtual X server (scripts/screenshot.sh).
#include "app/common/Commands.h"
#include "app/device/ConnectDialog.h"
#include "app/device/DeviceCommands.h"
#include "app/device/DeviceJobs.h"
#include "app/device/Explorer.h"
#include "app/device/HostKeyDialog.h"
#include "app/device/Ipv4Edit.h"
#include "app/device/NetworkDialog.h"
#include "app/device/PasswordDialog.h"
#include "app/device/RecordingsDialog.h"
#include "app/export/ExportDialog.h"
#include "app/frame/MainFrame.h"
#include "app/session/DeviceSession.h"
#include "app/sinks/ExportRunner.h"
#include "devsim/DeviceSimulator.h"
#include "export/AviWriter.h"
#include "ShotTools.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace korvex;
using namespace korvex::shots;

namespace {

bool WaitFor(const std::function<bool()>& condition, int ms = 20000) {
    for (int waited = 0; waited < ms; waited += 50) {
        if (condition())
            return true;
        Settle(50);
    }
    return condition();
}

// A dialog with its frame as the window manager would draw it is not
// available under a bare X server; the dialog's own pixels are.
bool ShootDialog(QWidget* dialog, const QString& path) {
    if (!dialog) {
        std::fprintf(stderr, "no dialog for %s\n", qPrintable(path));
        return false;
    }
    Settle(300);
    return SavePng(dialog->grab(), path);
}

bool ShootFrame(const QWidget& frame, const QString& path) {
    Settle(300);
    const QRect r = frame.frameGeometry();
    return ShootScreen(path, r);
}

template <typename D> D* Active(MainFrame& frame) {
    return qobject_cast<D*>(frame.DeviceWindows().ActiveDialog());
}

void MakeAvi(const QString& path, int frames) {
    AviWriter writer(path.toStdString());
    writer.SetPictureSize(320, 240);
    for (int i = 0; i < frames; ++i) {
        const std::string frame = "frame " + std::to_string(i);
        writer.AddFrameCopy(reinterpret_cast<const uint8_t*>(frame.data()),
                            static_cast<uint32_t>(frame.size()));
    }
    writer.Commit();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: korvex_device_screenshots <output folder>\n");
        return 2;
    }
    // Settings, known keys and kept programs of this run stay in a folder
    // of their own.
    QTemporaryDir home;
    setenv("XDG_CONFIG_HOME", qPrintable(home.path() + "/config"), 1);
    setenv("XDG_DATA_HOME", qPrintable(home.path() + "/data"), 1);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString out = StartShots(argv[1]);

    devsim::Options options;
    options.rootDir = (home.path() + "/device").toStdString();
    options.sshPort = 0;
    options.livePort = 0;
    options.announcePort = 21060;
    options.announceInterval_ms = 500;
    options.alias = "Gate north";
    options.cameraCount = 2;
    options.restartSeconds = 2;
    devsim::DeviceSimulator device(options);
    device.Start();

    MainFrame frame;
    frame.move(0, 0);
    frame.Create();
    Settle(1500); // the announcement reaches the explorer
    QListWidget* heard = frame.GetExplorer().List();
    if (heard->count() > 1)
        heard->setCurrentRow(1);
    bool ok = true;

    // Connect: address preset from the explorer's selection.
    frame.OnCommand(CmdConnect);
    auto* connectDialog = Active<ConnectDialog>(frame);
    if (!connectDialog)
        return 1;
    if (static_cast<Ipv4Edit*>(connectDialog->Control(ConnectDialog::Address))->text().isEmpty())
        static_cast<Ipv4Edit*>(connectDialog->Control(ConnectDialog::Address))->setText("127.0.0.1");
    static_cast<QSpinBox*>(connectDialog->Control(ConnectDialog::Port))->setValue(device.SshPort());
    static_cast<QLineEdit*>(connectDialog->Control(ConnectDialog::User))->setText("admin");
    static_cast<QLineEdit*>(connectDialog->Control(ConnectDialog::Password))->setText("admin");
    ok &= ShootDialog(connectDialog, out + "/connect.png");
    connectDialog->accept();

    // The first contact's key question, then connected with the version.
    WaitFor([&] { return Active<HostKeyDialog>(frame) != nullptr; });
    ok &= ShootDialog(Active<HostKeyDialog>(frame), out + "/host-key.png");
    if (auto* key = Active<HostKeyDialog>(frame))
        key->ActionButton()->click();
    WaitFor([&] { return frame.Devices().Connected() && !frame.Devices().Session().PendingJob(); });
    Settle(500);
    ok &= ShootFrame(frame, out + "/connected.png");

    // Change password (filled, not sent).
    frame.OnCommand(CmdChangePassword);
    if (auto* dialog = Active<PasswordDialog>(frame)) {
        static_cast<QLineEdit*>(dialog->Control(PasswordDialog::Current))->setText("admin");
        static_cast<QLineEdit*>(dialog->Control(PasswordDialog::New))->setText("new secret");
        static_cast<QLineEdit*>(dialog->Control(PasswordDialog::Repeat))->setText("new secret");
        ok &= ShootDialog(dialog, out + "/password.png");
        dialog->reject();
    }

    // Network settings read from the device, a wrong netmask refused.
    frame.OnCommand(CmdNetworkSettings);
    if (auto* dialog = Active<NetworkDialog>(frame)) {
        WaitFor([&] { return !frame.Devices().Session().PendingJob(); });
        Settle(300);
        auto* netmask = static_cast<Ipv4Edit*>(dialog->Control(NetworkDialog::Netmask));
        netmask->setText("255.255.0.255");
        WriteNetworkRequest request;
        QWidget* box = nullptr;
        QTimer::singleShot(400, [&] {
            box = QApplication::activeModalWidget();
            if (box && box != dialog)
                box->close();
        });
        dialog->Check(request); // marks the field (its error box closes itself)
        ok &= ShootDialog(dialog, out + "/network.png");
        dialog->reject();
    }

    // Recordings: two downloaded at once.
    frame.OnCommand(CmdRecordings);
    if (auto* dialog = Active<RecordingsDialog>(frame)) {
        auto idle = [&] { return WaitFor([&] { return !frame.Devices().Session().PendingJob(); }); };
        static_cast<QLineEdit*>(dialog->Control(RecordingsDialog::LocalFolder))
            ->setText(home.path() + "/Recordings");
        static_cast<QPushButton*>(dialog->Control(RecordingsDialog::List))->click();
        idle();
        Settle(300);
        dialog->Level(0)->item(0)->setSelected(true);
        idle();
        Settle(300);
        dialog->Level(1)->item(1)->setSelected(true);
        idle();
        Settle(300);
        dialog->Level(2)->item(0)->setSelected(true);
        idle();
        Settle(300);
        for (int i = 0; i < dialog->Level(3)->count() && i < 2; ++i)
            dialog->Level(3)->item(i)->setSelected(true);
        static_cast<QPushButton*>(dialog->Control(RecordingsDialog::Download))->click();
        idle();
        ok &= ShootDialog(dialog, out + "/recordings.png");
        dialog->reject();
    }

    // Export: two recordings chosen.
    {
        const QString a = home.path() + "/morning.avi", b = home.path() + "/evening.avi";
        MakeAvi(a, 20);
        MakeAvi(b, 10);
        ExportDialog dialog([](ExportDialog& d) { return MakeExportRunner(d); }, &frame);
        dialog.SetFiles({a, b});
        dialog.show();
        ok &= ShootDialog(&dialog, out + "/export.png");
    }

    // The Device menu with the restore command, the explorer listing the
    // device used before.
    frame.UpdateMenuStates();
    for (QAction* a : frame.menuBar()->actions())
        if (a->menu() && a->menu()->actions().contains(frame.Action(CmdRestoreProgram))) {
            frame.menuBar()->setActiveAction(a);
            ok &= ShootFrame(frame, out + "/device-menu.png");
            a->menu()->close();
        }

    frame.DeviceWindows().askSaveFile = nullptr;
    frame.StopThreads();
    device.Stop();
    return ok ? 0 : 1;
}
