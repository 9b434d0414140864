// A day of tuning on site, against the demo device playing the sample
// project: the question before a restart, the live page while the device
// restarts, the window connected again by itself, the network dialog's
// write button, the programs kept before uploads, the connect dialog with
// the devices used before and the recordings saved in the videos folder.
//
//   korvex_site_day_screenshots <output folder> <sample.kvx>
#include "ShotTools.h"
#include "app/common/Commands.h"
#include "app/demo/DemoDevice.h"
#include "app/device/ConnectDialog.h"
#include "app/device/DeviceCommands.h"
#include "app/device/HostKeyDialog.h"
#include "app/device/NetworkDialog.h"
#include "app/device/RecordingsDialog.h"
#include "app/device/RememberedDevices.h"
#include "app/frame/MainFrame.h"
#include "app/frame/TabView.h"
#include "app/session/DeviceSession.h"
#include "app/widgets/StatusBar.h"
#include "devicelink/DeviceTexts.h"
#include "devicelink/ProgramHistory.h"
#include "files/ProjectFile.h"
#include "framework/TextIds.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <functional>

using namespace korvex;
using namespace korvex::shots;

namespace {

bool WaitFor(const std::function<bool()>& condition, int ms = 30000) {
    for (int waited = 0; waited < ms; waited += 50) {
        if (condition())
            return true;
        Settle(50);
    }
    return condition();
}

bool ShootFrame(const QWidget& frame, const QString& path) {
    Settle(400);
    return ShootScreen(path, frame.frameGeometry());
}

bool ShootWidget(QWidget* widget, const QString& path) {
    if (!widget) {
        std::fprintf(stderr, "nothing to shoot for %s\n", qPrintable(path));
        return false;
    }
    Settle(300);
    return SavePng(widget->grab(), path);
}

// A modal box opened by `open`: shot once it shows, then answered with
// `answer` (a box's button) or closed.
bool ShootModal(const QString& path, const std::function<void()>& open,
                QMessageBox::StandardButton answer = QMessageBox::NoButton) {
    bool ok = false;
    QTimer::singleShot(700, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ok = ShootWidget(box, path);
        auto* message = qobject_cast<QMessageBox*>(box);
        if (message && answer != QMessageBox::NoButton && message->button(answer))
            message->button(answer)->click();
        else if (auto* dialog = qobject_cast<QDialog*>(box))
            dialog->reject();
    });
    open();
    return ok;
}

bool Idle(MainFrame& frame) {
    return WaitFor([&] { return !frame.Devices().Session().PendingJob(); });
}

void Connect(MainFrame& frame, const std::function<void(ConnectDialog&)>& before = {}) {
    frame.OnCommand(CmdConnect);
    auto* dialog = qobject_cast<ConnectDialog*>(frame.DeviceWindows().ActiveDialog());
    if (!dialog)
        return;
    if (before)
        before(*dialog);
    static_cast<QLineEdit*>(dialog->Control(ConnectDialog::User))->setText("admin");
    static_cast<QLineEdit*>(dialog->Control(ConnectDialog::Password))->setText("admin");
    dialog->accept();
    Idle(frame);
    Settle(300);
    if (auto* key = qobject_cast<HostKeyDialog*>(frame.DeviceWindows().ActiveDialog())) {
        key->ActionButton()->click();
        Idle(frame);
    }
    WaitFor([&] { return frame.Devices().Connected(); });
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: korvex_site_day_screenshots <output folder> <sample.kvx>\n");
        return 2;
    }
    // Settings, keys, kept programs and the videos folder of this run.
    QTemporaryDir home;
    const QString config = home.path() + "/config";
    QDir().mkpath(config);
    QFile dirs(config + "/user-dirs.dirs");
    if (dirs.open(QIODevice::WriteOnly))
        dirs.write(QStringLiteral("XDG_VIDEOS_DIR=\"%1/Videos\"\n").arg(home.path()).toUtf8());
    dirs.close();
    setenv("XDG_CONFIG_HOME", qPrintable(config), 1);
    setenv("XDG_DATA_HOME", qPrintable(home.path() + "/data"), 1);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString out = StartShots(argv[1]);
    // Devices used on other days, one with a long name.
    RememberedDevices().Remember("10.40.12.7", 22, "installer",
                                 "North gate, mast 3 beside the weighbridge office");
    RememberedDevices().Remember("192.168.20.31", 2222, "service.engineer", "Depot exit");

    FrameOptions options;
    options.makeDemo = [] { return std::make_unique<DemoDevice>(); };
    MainFrame frame(options);
    frame.move(0, 0);
    frame.Create();
    frame.OpenAtStart(argv[2]);
    frame.StartDemo(false);
    frame.Tabs().setCurrentIndex(0);
    Settle(2000);
    Connect(frame);
    bool ok = frame.Devices().Connected();

    // The network dialog: every camera of the device, written with a restart.
    frame.OnCommand(CmdNetworkSettings);
    if (auto* dialog = qobject_cast<NetworkDialog*>(frame.DeviceWindows().ActiveDialog())) {
        Idle(frame);
        ok &= ShootWidget(dialog, out + "/site-network.png");
        dialog->reject();
    }

    // The restart is asked first; then the live page shows the device away.
    ok &= ShootModal(
        out + "/site-restart-question.png", [&] { frame.OnCommand(CmdRestart); }, QMessageBox::Yes);
    QLabel& banner = frame.Tabs().LiveBanner();
    ok &= WaitFor([&] { return !banner.isHidden(); });
    Settle(2500); // the cameras have gone
    ok &= ShootFrame(frame, out + "/site-device-restarting.png");
    const QString again = QString::fromStdString(LoadTextA(text::reconnect_connected_again));
    ok &= WaitFor([&] { return frame.Status().Text().startsWith(again); }, 120000);
    Settle(2500); // the cameras are back
    ok &= ShootFrame(frame, out + "/site-connected-again.png");

    // Programs kept before two uploads, offered by date, time and device.
    const std::string address = NetworkAddressText(frame.Devices().TargetAddress());
    const std::vector<uint8_t> bytes = ProjectFileBytes(frame.View().State(), argv[2]);
    ProgramHistory history(ProgramHistory::DefaultRoot());
    history.Keep(address, bytes.data(), bytes.size(), 134'100'000'000'000'000ull);
    history.Keep(address, bytes.data(), bytes.size(), 134'100'030'000'000'000ull);
    // The choice's list opened, as the user sees it.
    QTimer::singleShot(700, [&] {
        QWidget* box = QApplication::activeModalWidget();
        auto* combo = box ? box->findChild<QComboBox*>() : nullptr;
        if (!combo) {
            ok = false;
            return;
        }
        combo->showPopup();
        Settle(500);
        const QRect area = box->frameGeometry().united(combo->view()->window()->frameGeometry());
        ok &= ShootScreen(out + "/site-kept-programs.png", area.adjusted(0, 0, 0, 4));
        combo->hidePopup();
        static_cast<QDialog*>(box)->reject();
    });
    frame.OnCommand(CmdCompareWith);

    // The recordings of an hour, saved in the device's videos folder.
    frame.OnCommand(CmdRecordings);
    if (auto* dialog = qobject_cast<RecordingsDialog*>(frame.DeviceWindows().ActiveDialog())) {
        static_cast<QLineEdit*>(dialog->Control(RecordingsDialog::LocalFolder))->clear();
        dialog->openFolder = [](const QString&) {};
        static_cast<QPushButton*>(dialog->Control(RecordingsDialog::List))->click();
        Idle(frame);
        for (int level = 0; level < 3; ++level) {
            Settle(300);
            if (dialog->Level(level)->count() == 0)
                break;
            dialog->Level(level)->item(0)->setSelected(true);
            Idle(frame);
        }
        Settle(300);
        for (int i = 0; i < dialog->Level(3)->count() && i < 2; ++i)
            dialog->Level(3)->item(i)->setSelected(true);
        static_cast<QPushButton*>(dialog->Control(RecordingsDialog::Download))->click();
        Idle(frame);
        WaitFor([&] { return dialog->SavedNote().isVisible(); }, 5000);
        ok &= ShootWidget(dialog, out + "/site-recordings.png");
        dialog->reject();
    }

    // The connect dialog after a disconnect: the devices used before, whole.
    frame.OnCommand(CmdDisconnect);
    Idle(frame);
    frame.OnCommand(CmdConnect);
    if (auto* dialog = qobject_cast<ConnectDialog*>(frame.DeviceWindows().ActiveDialog())) {
        ok &= ShootWidget(dialog, out + "/site-connect.png");
        dialog->reject();
    }
    frame.StopThreads();
    return ok ? 0 : 1;
}
