// The device's restarts as the window shows them: a restart stops the
// device's detection, so it is asked first; while the device is away the
// live page says so over its cameras, and the session logs in again by
// itself when the device is back. When that fails the window offers to
// connect with the same login (kept in memory for this run only).
#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/device/DeviceCommands.h"
#include "app/frame/DeviceWindowSet.h"
#include "app/frame/MainFrame.h"
#include "app/frame/TabView.h"
#include "app/session/DeviceSession.h"
#include "app/sinks/DeviceDialogSinks.h"
#include "app/widgets/StatusBar.h"
#include "devicelink/DeviceSinks.h"
#include "framework/TextIds.h"

namespace korvex {

void MainFrame::RestartDevice() {
    if (!DeviceConnected())
        return;
    if (deviceWindows->Sinks().Busy()) {
        prompter->Information(this, Text(text::network_device_busy), Text(text::device_restart_caption));
        return;
    }
    if (!prompter->Warning(this, Text(text::device_restart_question), Text(text::device_restart_caption)))
        return;
    PostDeviceJob(RestartRequest{}, true);
}

void MainFrame::FollowRestarts() {
    connect(statusBar, &StatusBar::RestartStageChanged, this, &MainFrame::RestartStageChanged);
}

void MainFrame::RestartStageChanged(int stage, const QString& detail) {
    switch (RestartStage(stage)) {
    case RestartStage::Restarting:
    case RestartStage::Waiting:
        tabView->SetLiveBanner(Text(text::live_device_restarting));
        return;
    case RestartStage::ConnectedAgain:
    case RestartStage::NotRestarted:
        tabView->SetLiveBanner(QString());
        UpdateMenuStates();
        return;
    case RestartStage::Failed:
        break;
    }
    tabView->SetLiveBanner(QString());
    UpdateMenuStates();
    const QString offer =
        QString::fromStdString(FillText(Text(text::reconnect_offer).toStdString(), {detail.toStdString()}));
    if (!prompter->Warning(this, offer, Text(text::reconnect_caption)))
        return;
    // The login of the last connect, again; when that cannot be posted,
    // the connect dialog.
    if (!DeviceConnected() && !deviceWindows->Sinks().RepostConnect())
        ConnectChosenDevice();
}

} // namespace korvex
