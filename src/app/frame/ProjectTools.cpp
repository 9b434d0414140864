// The frame's project tools: the commissioning report and comparing the
// project with a file, the device's program or a program kept before an
// upload.
// DeviceCommands.h (under DeviceDialogSinks.h) needs the whole QDialog.
#include <QDialog>

// The window and the core.
#include "app/common/AppSettings.h"
#include "app/common/Commands.h"
#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/compare/ComparePane.h"
#include "app/device/DeviceCommands.h"
#include "app/device/KeptProgram.h"
#include "app/frame/DeviceWindowSet.h"
#include "app/frame/MainFrame.h"
#include "app/frame/StepName.h"
#include "app/frame/TabView.h"
#include "app/report/ReportWriter.h"
#include "app/session/DeviceSession.h"
#include "app/sinks/DeviceDialogSinks.h"
#include "app/widgets/StatusBar.h"
#include "composer/Formula.h"
#include "devicelink/DeviceTexts.h"
#include "devicelink/ProgramHistory.h"
#include "files/ProjectDiff.h"
#include "files/ProjectFile.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

namespace korvex {

namespace {

// How many earlier steps of the session the comparison offers.
constexpr size_t kComparedSteps = 10;

// The settings key of a project's report details: its path, hashed, as
// paths hold characters settings keys do not take.
QString SignOffKey(const std::string& projectPath, const char* field) {
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(projectPath), QCryptographicHash::Sha1).toHex();
    return QStringLiteral("reportDetails/%1/%2").arg(QString::fromLatin1(hash), QLatin1String(field));
}

// What was last given for the project at `projectPath` (nothing for a
// project never saved).
ReportSignOff RememberedSignOff(const std::string& projectPath) {
    ReportSignOff signOff;
    if (projectPath.empty())
        return signOff;
    auto settings = OpenAppSettings();
    signOff.site = settings->value(SignOffKey(projectPath, "site")).toString();
    signOff.engineer = settings->value(SignOffKey(projectPath, "engineer")).toString();
    return signOff;
}

void RememberSignOff(const std::string& projectPath, const ReportSignOff& signOff) {
    if (projectPath.empty())
        return;
    auto settings = OpenAppSettings();
    settings->setValue(SignOffKey(projectPath, "site"), signOff.site);
    settings->setValue(SignOffKey(projectPath, "engineer"), signOff.engineer);
}

// Asks for the site and the engineer, starting from `signOff`; false when
// cancelled.
bool AskSignOff(QWidget* owner, ReportSignOff& signOff) {
    QDialog dialog(owner);
    dialog.setWindowTitle(Text(text::onsite_report_ask_title));
    auto* site = new QLineEdit(signOff.site, &dialog);
    auto* engineer = new QLineEdit(signOff.engineer, &dialog);
    auto* form = new QFormLayout(&dialog);
    auto* note = new QLabel(Text(text::onsite_report_ask_text), &dialog);
    note->setWordWrap(true);
    form->addRow(note);
    form->addRow(Text(text::onsite_report_site), site);
    form->addRow(Text(text::onsite_report_engineer), engineer);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    dialog.resize(420, dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted)
        return false;
    signOff.site = site->text().trimmed();
    signOff.engineer = engineer->text().trimmed();
    return true;
}

// The value after "<label>: " in a status text, up to the next ";".
QString FactAfter(const QString& text, const QString& label) {
    const QString key = label + QStringLiteral(": ");
    const int at = text.indexOf(key);
    if (at < 0)
        return {};
    const int start = at + int(key.size());
    const int end = text.indexOf(QLatin1Char(';'), start);
    return text.mid(start, end < 0 ? -1 : end - start).trimmed();
}

} // namespace

void MainFrame::BuildProjectTools() {
    // The real frame asks for the report's details in a dialog of its own.
    if (ownPrompter)
        askSignOff = [this](ReportSignOff& signOff) { return AskSignOff(this, signOff); };
    comparePane = new ComparePane;
    compareDock = new QDockWidget(Text(text::compare_title), this);
    compareDock->setObjectName(QStringLiteral("comparePane"));
    compareDock->setWidget(comparePane);
    addDockWidget(Qt::BottomDockWidgetArea, compareDock);
    compareDock->hide();
    connect(comparePane, &ComparePane::DetectorChosen, this, [this](int index) {
        if (index < 0 || size_t(index) >= View().State().detectors.size())
            return;
        tabView->setCurrentIndex(1);
        View().Select(index);
        View().update();
    });
    connect(comparePane, &ComparePane::RowChosen, this, [this](const QString& name) {
        Document& document = View().GetDocument();
        if (const auto row = ParseRowName(document.Current(), name.toStdString())) {
            tabView->setCurrentIndex(1);
            document.SelectComposerItem(row->SelectionPrefix());
            panes.SetShown(PaneTable::Composer, true);
            document.Announce(DocumentChange::Selection);
            MarkChanged(PanesChanged);
        }
    });
    // The connect report in the status bar names the firmware and the
    // camera count; the report's title page repeats them.
    connect(statusBar, &StatusBar::TextShown, this, [this](const QString& text) {
        const QString firmware =
            FactAfter(text, QString::fromStdString(LoadTextA(text::status_firmware_version)));
        const QString cameras = FactAfter(text, QString::fromStdString(LoadTextA(text::status_cameras)));
        if (!firmware.isEmpty())
            deviceFirmware = firmware;
        if (!cameras.isEmpty())
            deviceCameras = cameras.toUInt();
    });
}

ComparePane& MainFrame::Comparison() {
    return *comparePane;
}
QDockWidget& MainFrame::ComparisonDock() {
    return *compareDock;
}

ReportFacts MainFrame::ReportFactsNow() {
    ReportFacts facts = LocalReportFacts(View().GetDocument().Path());
    facts.connected = DeviceConnected();
    if (facts.connected) {
        facts.deviceAddress = deviceWindows->Sinks().DeviceAddressText();
        facts.firmware = deviceFirmware.toStdString();
        facts.deviceCameras = deviceCameras ? deviceCameras : devices->LiveCore().Layout().cameraCount;
    }
    return facts;
}

void MainFrame::ExportReport() {
    View().CancelDrag();
    // The report starts beside the project, named after it.
    const std::string project = View().GetDocument().Path();
    QString suggested;
    if (!project.empty()) {
        const QFileInfo file(QString::fromStdString(project));
        suggested = file.dir().filePath(file.completeBaseName() + QStringLiteral(".pdf"));
    }
    QString path = prompter->SaveFileAt(this, Text(text::report_title), Text(text::report_pdf_documents),
                                        QStringLiteral("*.pdf"), QStringLiteral("pdf"), suggested);
    if (path.isEmpty())
        return;
    // The site and the engineer, as last given for this project.
    ReportSignOff signOff = RememberedSignOff(project);
    if (askSignOff && !askSignOff(signOff))
        return;
    RememberSignOff(project, signOff);
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    QString error;
    if (!WriteReportPdf(path, View().State(), ReportFactsNow(), &error, signOff)) {
        prompter->Error(this, error);
        return;
    }
    statusBar->ShowText(FillText(Text(text::report_written).toStdString(), {path.toStdString()}));
}

void MainFrame::ShowComparison(const QString& source, const RenderState& other) {
    comparedState = std::make_unique<RenderState>(other);
    comparedSource = source;
    comparePane->ShowChanges(source, DiffProjects(other, View().State()));
    compareDock->show();
    compareDock->raise();
}

void MainFrame::RefreshComparison() {
    if (comparedState && compareDock->isVisible())
        comparePane->ShowChanges(comparedSource, DiffProjects(*comparedState, View().State()));
}

void MainFrame::CompareWith() {
    View().CancelDrag();
    // The device's kept programs: of the connected device, or of the one
    // chosen in the device list.
    const bool connected = DeviceConnected();
    const std::string address =
        connected ? deviceWindows->Sinks().DeviceAddressText()
                  : (devices->TargetAddress() ? NetworkAddressText(devices->TargetAddress()) : std::string());
    std::vector<ProgramHistory::Entry> kept;
    if (!address.empty() && deviceWindows)
        kept = deviceWindows->History().List(address);
    QStringList items{Text(text::compare_file)};
    if (connected)
        items << Text(text::compare_device);
    const QString alias =
        deviceCommands->aliasOf ? deviceCommands->aliasOf(QString::fromStdString(address)) : QString();
    const QString device = alias.isEmpty()
                               ? QString::fromStdString(address)
                               : QStringLiteral("%1 (%2)").arg(QString::fromStdString(address), alias);
    for (const ProgramHistory::Entry& e : kept)
        items << KeptProgramLabel(e.name, device);
    // The project as it was before each of its last steps, named as Edit >
    // Undo names them.
    const Document& document = View().GetDocument();
    const int firstStep = int(items.size());
    std::vector<int32_t> steps;
    for (int32_t i = document.CurrentIndex() - 1; i >= 0 && steps.size() < kComparedSteps; --i) {
        steps.push_back(i);
        items << QString::fromStdString(FillText(LoadTextA(text::onsite_compare_step),
                                                 {StepName(document.StateAt(i), document.StateAt(i + 1))}));
    }
    int choice = 0;
    if (items.size() > 1)
        choice = prompter->Choose(this, Text(text::compare_ask), Text(text::compare_title), items);
    if (choice < 0)
        return;
    if (choice == 0) {
        const QString path =
            prompter->OpenFile(this, Text(text::filter_project_files), QStringLiteral("*.kvx"));
        if (!path.isEmpty())
            ShowComparison(QFileInfo(path).fileName(), LoadProject(path.toStdString()));
        return;
    }
    if (connected && choice == 1) {
        CompareWithDeviceProgram();
        return;
    }
    if (choice >= firstStep) {
        ShowComparison(items[choice], document.StateAt(steps.at(size_t(choice - firstStep))));
        return;
    }
    const ProgramHistory::Entry& entry = kept.at(size_t(choice - (connected ? 2 : 1)));
    ShowComparison(items[choice], LoadProject(entry.path));
}

void MainFrame::CompareWithDeviceProgram() {
    auto folder = std::make_shared<QTemporaryDir>();
    const QString path = folder->filePath(QStringLiteral("device.kvx"));
    if (!folder->isValid() || !deviceWindows->Sinks().Post(DownloadProgramRequest{path.toStdString()})) {
        prompter->Information(this, Text(text::compare_device_busy), Text(text::compare_title));
        return;
    }
    // The download runs on the session thread; its end is seen here when
    // the session has no job any more (given up after two minutes).
    auto* wait = new QTimer(this);
    const QDeadlineTimer deadline(120000);
    connect(wait, &QTimer::timeout, this, [this, wait, deadline, folder, path] {
        if (deviceWindows->Sinks().Busy() && !deadline.hasExpired())
            return;
        wait->stop();
        wait->deleteLater();
        try {
            ShowComparison(Text(text::compare_device_program_name), LoadProject(path.toStdString()));
        } catch (const std::exception& e) {
            prompter->Error(this, Text(text::compare_device_program_failed) + QStringLiteral("\n") +
                                      QString::fromUtf8(e.what()));
        }
    });
    wait->start(100);
}

} // namespace korvex
