// The frame's commands, by menu: every command id arrives at OnCommand,
// which hands it to the area it belongs to; what no area takes is the
// editor's.
#include "app/common/Commands.h"
#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/device/DeviceCommands.h"
#include "app/device/Explorer.h"
#include "app/device/OptionMaskDialog.h"
#include "app/dialogs/AboutDialog.h"
#include "app/dialogs/ConfigTestDialog.h"
#include "app/export/ExportDialog.h"
#include "app/frame/FrameSettings.h"
#include "app/frame/LiveSiteLink.h"
#include "app/frame/MainFrame.h"
#include "app/frame/TabView.h"
#include "app/live/LiveView.h"
#include "app/session/DeviceSession.h"
#include "app/session/ProjectSession.h"
#include "app/sinks/ExportRunner.h"
#include "app/widgets/StatusBar.h"
#include "framework/Language.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QListWidget>
#include <QStandardPaths>
#include <QUrl>

namespace korvex {

void MainFrame::SelectDemoRow() {
    if (!devices->DemoRunning() || devices->TargetAddress() != DemoControl::Address())
        return;
    const std::vector<DeviceEntry> entries = devices->Devices().Entries();
    for (size_t i = 1; i < entries.size(); ++i)
        if (entries[i].address == DemoControl::Address()) {
            // Through the list's own selection, as a user's click would go.
            if (explorer->List()->currentRow() != int(i) && int(i) < explorer->List()->count())
                explorer->List()->setCurrentRow(int(i));
            return;
        }
}

void MainFrame::StartDemo(bool usualPortsFirst) {
    // An opened project file lends its cards to the demo's scenes.
    const Document& document = View().GetDocument();
    std::shared_ptr<const RenderState> scenes;
    if (!document.Path().empty())
        scenes = std::make_shared<RenderState>(document.Current());
    devices->StartDemo(usualPortsFirst, scenes, document.Path());
    SelectDemoRow();
    statusBar->ShowText(
        FillText(Text(text::live_demo_ports).toStdString(),
                 {std::to_string(devices->Demo().LivePort()), std::to_string(devices->Demo().SshPort())}));
    tabView->setCurrentIndex(0);
}

void MainFrame::ToggleDemo() {
    if (devices->DemoRunning()) {
        devices->StopDemo();
        return;
    }
    try {
        StartDemo();
    } catch (const std::exception& e) {
        prompter->Error(
            this, QString::fromStdString(FillText(Text(text::live_demo_failed).toStdString(), {e.what()})));
    }
}

void MainFrame::PostDeviceJob(DeviceRequest request, bool needsConnection) {
    devices->Post(std::move(request), needsConnection);
}

void MainFrame::ProjectCommand(int id) {
    View().CancelDrag();
    bool replaced = false;
    switch (id) {
    case CmdNew:
        replaced = projects->NewProject();
        break;
    case CmdOpen:
        replaced = projects->OpenProject();
        break;
    case CmdSave:
        projects->Save();
        break;
    case CmdSaveAs:
        projects->SaveAs();
        break;
    default:
        break;
    }
    if (replaced)
        View().ProjectReplaced();
}

void MainFrame::Upload() {
    View().CancelDrag();
    if (RebuildProblems()) {
        prompter->Error(this, Text(text::program_upload_refused_problems));
        return;
    }
    if (!DeviceConnected())
        return;
    try {
        if (!prompter->Warning(this, Text(text::program_upload_question), Text(text::program_upload_caption)))
            return;
        if (!projects->Save())
            return;
        // The bytes saving has just written, built again rather than read
        // back from the disk.
        if (!PostUpload(projects->FileBytes()))
            prompter->Information(this, Text(text::app_upload_busy), Text(text::program_upload_caption));
    } catch (const std::exception& e) {
        prompter->Error(this, QString::fromStdString(e.what()));
    }
}

void MainFrame::ChooseLanguage(int id) {
    std::string name;
    if (id == CmdLanguageAuto) {
        name = "auto";
    } else {
        size_t index = static_cast<size_t>(id - CmdLanguageFirst);
        if (index >= languages.size())
            return;
        name = languages[index];
    }
    if (QAction* a = Action(id))
        a->setChecked(true);
    RememberLanguage(name);
    WriteLanguage(name);
    prompter->Information(this, Text(text::frame_language_next_start), Text(text::frame_language_caption));
}

void MainFrame::OnCommand(int id) {
    try {
        if (!FileCommand(id) && !ViewCommand(id) && !DeviceCommand(id) && !ToolsCommand(id) &&
            !HelpCommand(id))
            View().Command(id);
    } catch (const std::exception& e) {
        prompter->Error(nullptr, QString::fromUtf8(e.what()));
    }
    // Checkable actions flip themselves when clicked; put them back to what
    // the view and the toggles say.
    View().UpdateToolbar();
    UpdateMenuStates();
}

// The File menu: projects, the report, comparing, leaving.
bool MainFrame::FileCommand(int id) {
    switch (id) {
    case CmdExit:
        close();
        return true;
    case CmdNew:
    case CmdOpen:
    case CmdSave:
    case CmdSaveAs:
        ProjectCommand(id);
        return true;
    case CmdExportReport:
        ExportReport();
        return true;
    case CmdCompareWith:
        CompareWith();
        return true;
    default:
        return false;
    }
}

// The View menu and the live page: zoom, the panes, the live options.
bool MainFrame::ViewCommand(int id) {
    switch (id) {
    case CmdZoomIn:
    case CmdZoomOut:
        if (tabView->ActiveTab() == 1)
            View().Command(id);
        else if (id == CmdZoomIn)
            tabView->Live().ZoomIn();
        else
            tabView->Live().ZoomOut();
        return true;
    case CmdToggleComposer:
        TogglePane(PaneTable::Composer);
        return true;
    case CmdToggleInspector:
        TogglePane(PaneTable::Inspector);
        return true;
    case CmdToggleExplorer:
        TogglePane(PaneTable::Explorer);
        return true;
    case CmdToggleTuning:
        TogglePane(PaneTable::Tuning);
        return true;
    case CmdFollowCamera:
        if (QString done;
            liveSite->MenuCamera() >= 0 && liveSite->FollowCamera(unsigned(liveSite->MenuCamera()), &done))
            statusBar->ShowText(done.toStdString());
        return true;
    case CmdLiveDetectors: // its toggled signal does the work
        return true;
    case CmdViewOptionA:
        devices->LiveCore().ToggleViewOptionA();
        return true;
    case CmdViewOptionB:
        devices->LiveCore().ToggleViewOptionB();
        return true;
    default:
        return false;
    }
}

void MainFrame::TogglePane(int pane) {
    panes.Toggle(PaneTable::Pane(pane));
    MarkChanged(PanesChanged);
}

// The Device menu: the session's jobs and the device windows.
bool MainFrame::DeviceCommand(int id) {
    switch (id) {
    case CmdConnect:
        ConnectChosenDevice();
        return true;
    case CmdDisconnect:
        PostDeviceJob(DisconnectRequest{}, false);
        return true;
    case CmdUpload:
        Upload();
        return true;
    case CmdRestart:
        RestartDevice();
        return true;
    case CmdRecordings:
        deviceCommands->Recordings();
        return true;
    case CmdChangePassword:
        deviceCommands->ChangePassword();
        return true;
    case CmdNetworkSettings:
        deviceCommands->NetworkSettings();
        return true;
    case CmdRestoreProgram:
        deviceCommands->RestoreProgram();
        return true;
    case CmdDownloadProgram:
        deviceCommands->DownloadProgram();
        return true;
    case CmdOptionMask: {
        // The mask travels in the replies only while the dialog is open.
        OptionMaskDialog dialog(devices->OptionMask(), this);
        dialog.exec();
        return true;
    }
    default:
        return false;
    }
}

void MainFrame::ConnectChosenDevice() {
    if (DeviceConnected())
        return;
    // The explorer's choice; the demo device is the target before its first
    // announcement has reached the list.
    uint32_t address = devices->Devices().SelectedAddress();
    if (address == 0)
        address = devices->TargetAddress();
    deviceCommands->Connect(address, devices->SshPortFor(address));
}

// The Tools and Language menus.
bool MainFrame::ToolsCommand(int id) {
    switch (id) {
    case CmdExport: {
        auto* dialog = new ExportDialog([](ExportDialog& d) { return MakeExportRunner(d); }, this);
        connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->show();
        return true;
    }
    case CmdConfigTest: {
        ConfigTestDialog dialog(View().State(), *prompter, this);
        dialog.exec();
        return true;
    }
    default:
        if (id != CmdLanguageAuto && (id < CmdLanguageFirst || id > CmdLanguageLast))
            return false;
        ChooseLanguage(id);
        return true;
    }
}

void MainFrame::ShowHelp() {
    const QString folder = QString::fromStdString(ResourceDirectory());
    const QString guide = folder + QStringLiteral("/Help.pdf");
    // Without the desktop's opener (or a viewer behind it) the request would
    // vanish without a word: say where the guide is instead.
    const bool opener = !QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty();
    if (opener && QFileInfo::exists(guide) && QDesktopServices::openUrl(QUrl::fromLocalFile(guide)))
        return;
    const QString text = QString::fromStdString(
                             FillText(Text(text::onsite_help_missing).toStdString(), {guide.toStdString()})) +
                         QStringLiteral("\n\n") + Text(text::onsite_help_open_folder);
    if (prompter->Warning(this, text, QString()))
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

// The Help menu with the demo device.
bool MainFrame::HelpCommand(int id) {
    switch (id) {
    case CmdHelp:
        ShowHelp();
        return true;
    case CmdAbout: {
        AboutDialog dialog(this);
        dialog.exec();
        return true;
    }
    case CmdDemoDevice:
        ToggleDemo();
        return true;
    case CmdDemoKnock:
        if (devices->DemoRunning())
            devices->Demo().KnockCamera(unsigned(KnockTarget()));
        return true;
    case CmdDemoStraighten:
        if (devices->DemoRunning())
            devices->Demo().Straighten();
        return true;
    default:
        return false;
    }
}

void MainFrame::OpenRecent(const QString& path) {
    View().CancelDrag();
    try {
        if (!projects->MayClose())
            return;
        projects->Open(path.toStdString());
        View().ProjectReplaced();
        tabView->setCurrentIndex(1);
    } catch (const std::exception& e) {
        prompter->Error(this, QString::fromUtf8(e.what()));
    }
}

} // namespace korvex
