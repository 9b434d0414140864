#include "app/device/DeviceCommands.h"

#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/device/ConnectDialog.h"
#include "app/device/DeviceJobs.h"
#include "app/device/DeviceSettings.h"
#include "app/device/HostKeyDialog.h"
#include "app/device/Ipv4Edit.h"
#include "app/device/KeptProgram.h"
#include "app/device/NetworkDialog.h"
#include "app/device/PasswordDialog.h"
#include "app/device/RecordingsDialog.h"
#include "devicelink/KnownHosts.h"
#include "devicelink/ProgramHistory.h"
#include "framework/BinaryFile.h"
#include "framework/TextIds.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

namespace korvex {

DeviceCommands::DeviceCommands(QWidget& owner, Prompter& prompter, DeviceJobs& jobs,
                               RememberedDevices& remembered, std::string historyRoot)
    : QObject(&owner), owner(owner), prompter(prompter), jobs(jobs), remembered(remembered),
      historyRoot(std::move(historyRoot)) {
    askSaveFile = [](QWidget* parent, const QString& title, const QString& filter, const QString& initial) {
        return QFileDialog::getSaveFileName(parent, title, initial, filter);
    };
    connectWatch = new QTimer(this);
    connectWatch->setInterval(100);
    connect(connectWatch, &QTimer::timeout, this, &DeviceCommands::WatchConnect);
}

void DeviceCommands::Show(QDialog* dialog) {
    if (active)
        active->reject();
    active = dialog;
    // Gone once closed, whichever way (OK, Cancel, the window's close box).
    connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
}

void DeviceCommands::Connect(uint32_t networkAddress, uint16_t wantedPort) {
    auto* dialog = new ConnectDialog(jobs, prompter, &owner);
    uint16_t port = wantedPort ? wantedPort : 22;
    std::string user;
    if (networkAddress) {
        const uint32_t host = (networkAddress & 255) << 24 | ((networkAddress >> 8) & 255) << 16 |
                              ((networkAddress >> 16) & 255) << 8 | (networkAddress >> 24);
        const QString text = Ipv4Edit::TextOf(host);
        if (auto known = wantedPort ? remembered.Find(text, wantedPort) : remembered.FindAddress(text)) {
            port = known->port;
            user = known->user.toStdString();
        }
    }
    dialog->ShowUsedBefore(remembered.All());
    dialog->Preset(networkAddress, port, user);
    connect(dialog, &ConnectDialog::Posted, this,
            [this](uint32_t address, uint16_t port, const QString& user) {
                const uint32_t host = (address & 255) << 24 | ((address >> 8) & 255) << 16 |
                                      ((address >> 16) & 255) << 8 | (address >> 24);
                pendingAddress = Ipv4Edit::TextOf(host);
                pendingPort = port;
                pendingUser = user;
                connectWatch->start();
            });
    Show(dialog);
}

void DeviceCommands::WatchConnect() {
    if (jobs.Busy())
        return;
    connectWatch->stop();
    if (!jobs.Connected() || pendingAddress.isEmpty())
        return;
    remembered.Remember(pendingAddress, pendingPort, pendingUser,
                        aliasOf ? aliasOf(pendingAddress) : QString());
    Q_EMIT Connected(pendingAddress, pendingPort);
    pendingAddress.clear();
}

void DeviceCommands::EditKeysAndReconnect(const std::function<void()>& edit) {
    try {
        edit();
    } catch (const std::exception& e) {
        prompter.Error(&owner, QString::fromUtf8(e.what()));
        return;
    }
    if (jobs.RepostConnect() && !pendingAddress.isEmpty())
        connectWatch->start();
}

void DeviceCommands::UnknownKey(const HostKeyQuestion& question) {
    auto* dialog = new HostKeyDialog(HostKeyDialog::NewKey, question, &owner);
    connect(dialog, &QDialog::accepted, this, [this, question] {
        EditKeysAndReconnect(
            [&] { RecordHostKey(question.knownHostsPath, question.host, question.port, question.keyBlob); });
    });
    Show(dialog);
}

void DeviceCommands::ChangedKey(const HostKeyQuestion& question) {
    auto* dialog = new HostKeyDialog(HostKeyDialog::ChangedKey, question, &owner);
    connect(dialog, &QDialog::accepted, this, [this, question] {
        const QString where =
            question.port == 22
                ? QString::fromStdString(question.host)
                : QStringLiteral("%1:%2").arg(QString::fromStdString(question.host)).arg(question.port);
        const QString confirm = FillText(Text(text::device_remove_key_confirm).toStdString(),
                                         {where.toStdString(), question.recordedFingerprint})
                                    .c_str();
        if (!prompter.Warning(&owner, confirm, Text(text::device_remove_key_caption)))
            return;
        // Connecting again meets the new key as a first contact and asks.
        EditKeysAndReconnect([&] { ForgetHostKey(question.knownHostsPath, question.host, question.port); });
    });
    Show(dialog);
}

void DeviceCommands::ChangePassword() {
    if (!jobs.Connected())
        return;
    Show(new PasswordDialog(jobs, prompter, &owner));
}

void DeviceCommands::NetworkSettings() {
    if (!jobs.Connected())
        return;
    auto* dialog = new NetworkDialog(jobs, prompter, &owner);
    Show(dialog);
    dialog->Start();
}

void DeviceCommands::Recordings() {
    if (!jobs.Connected())
        return;
    Show(new RecordingsDialog(jobs, &owner));
}

void DeviceCommands::DownloadProgram() {
    if (!jobs.Connected() || jobs.Busy())
        return;
    const QString folder = LoadDeviceSetting(QStringLiteral("device/programFolder"), QDir::homePath());
    const QString filter = Text(text::filter_project_files) + QStringLiteral(" (*.kvx)");
    QString path = askSaveFile(&owner, Text(text::device_download_title), filter,
                               QDir(folder).filePath(Text(text::program_default_file_name)));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".kvx");
    StoreDeviceSetting(QStringLiteral("device/programFolder"), QFileInfo(path).absolutePath());
    if (!jobs.Post(DownloadProgramRequest{path.toStdString()}))
        prompter.Error(&owner, Text(text::network_device_busy));
}

void DeviceCommands::RestoreProgram() {
    if (!jobs.Connected())
        return;
    if (jobs.Busy()) {
        prompter.Error(&owner, Text(text::network_device_busy));
        return;
    }
    ProgramHistory history(historyRoot);
    const auto kept = history.List(jobs.DeviceAddressText());
    if (kept.empty()) {
        prompter.Information(&owner, Text(text::device_no_kept_program), Text(text::device_restore_caption));
        return;
    }
    const QDateTime keptAt = KeptProgramTime(kept.front().name);
    const std::string when =
        keptAt.isValid() ? keptAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString()
                         : kept.front().name;
    const QString confirm =
        FillText(Text(text::device_restore_confirm).toStdString(), {jobs.DeviceAddressText(), when}).c_str();
    if (!prompter.Warning(&owner, confirm, Text(text::device_restore_caption)))
        return;
    std::vector<uint8_t> bytes = BinaryFile::ReadAll(kept.front().path);
    if (!jobs.Post(UploadProgramRequest{std::move(bytes)}))
        prompter.Error(&owner, Text(text::network_device_busy));
}

} // namespace korvex
