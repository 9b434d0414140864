// The frame's project tools: the commissioning report.
// DeviceCommands.h (under DeviceDialogSinks.h) needs the whole QDialog.
#include <QDialog>

// The window and the core.
#include "app/common/AppStrings.h"
#include "app/common/ProjectToolStrings.h"
#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/device/DeviceCommands.h"
#include "app/frame/MainFrame.h"
#include "app/report/ReportWriter.h"
#include "app/session/DeviceSession.h"
#include "app/sinks/DeviceDialogSinks.h"
#include "app/widgets/StatusBar.h"
#include "framework/StringTable.h"

#include <QFileInfo>

namespace korvex {

namespace {

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
    // The connect report in the status bar names the firmware and the
    // camera count; the report's title page repeats them.
    connect(statusBar, &StatusBar::TextShown, this, [this](const QString& text) {
        const QString firmware = FactAfter(text, QString::fromStdString(LoadTextA(174)));
        const QString cameras = FactAfter(text, QString::fromStdString(LoadTextA(175)));
        if (!firmware.isEmpty())
            deviceFirmware = firmware;
        if (!cameras.isEmpty())
            deviceCameras = cameras.toUInt();
    });
}

ReportFacts MainFrame::ReportFactsNow() {
    ReportFacts facts = LocalReportFacts(View().GetDocument().Path());
    facts.connected = DeviceConnected();
    if (facts.connected) {
        facts.deviceAddress = deviceDialogs->DeviceAddressText();
        facts.firmware = deviceFirmware.toStdString();
        facts.deviceCameras = deviceCameras ? deviceCameras : devices->LiveCore().Layout().cameraCount;
    }
    return facts;
}

void MainFrame::ExportReport() {
    View().CancelDrag();
    QString path = prompter->SaveFile(this, Text(kStrReportTitle), Text(kStrPdfDocuments),
                                      QStringLiteral("*.pdf"), QStringLiteral("pdf"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    QString error;
    if (!WriteReportPdf(path, View().State(), ReportFactsNow(), &error)) {
        prompter->Error(this, path + QStringLiteral(": ") + error);
        return;
    }
    statusBar->ShowText(FillText(Text(kStrReportWritten).toStdString(), {path.toStdString()}));
}

} // namespace korvex
