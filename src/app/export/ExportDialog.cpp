#include "app/export/ExportDialog.h"

#include "app/common/UiText.h"
#include "framework/TextIds.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCommandLinkButton>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace korvex {

namespace {
// Last-used folders of these windows ($XDG_CONFIG_HOME/korvex/export.ini).
QString LoadSetting(const QString& key, const QString& fallback = QString()) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("korvex"),
                       QStringLiteral("export"));
    return settings.value(key, fallback).toString();
}
void StoreSetting(const QString& key, const QString& value) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("korvex"),
                       QStringLiteral("export"));
    settings.setValue(key, value);
}
} // namespace

ExportDialog::ExportDialog(std::function<std::unique_ptr<ExportRunner>(ExportDialog&)> makeRunner,
                           QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(Text(text::device_export_title));
    list = new QListWidget;
    list->setObjectName(QStringLiteral("c1012"));
    progress = new QProgressBar;
    progress->setObjectName(QStringLiteral("c1016"));
    progress->setRange(0, 100);
    progress->setValue(0);
    status = new QLabel;
    status->setObjectName(QStringLiteral("c1017"));
    choose = new QPushButton(Text(text::device_export_choose));
    choose->setObjectName(QStringLiteral("c1019"));
    copy = new QCommandLinkButton(Text(text::device_export_copy));
    copy->setObjectName(QStringLiteral("c1022"));
    reencode = new QCommandLinkButton(Text(text::device_export_reencode));
    reencode->setObjectName(QStringLiteral("c1023"));

    askInputFiles = [](QWidget* owner, const QString& filter) {
        const QString start = LoadSetting(QStringLiteral("export/inputFolder"));
        return QFileDialog::getOpenFileNames(owner, QString(), start, filter);
    };
    askOutputFile = [](QWidget* owner, const QString& filter, const QString& initial) {
        return QFileDialog::getSaveFileName(owner, QString(), initial, filter);
    };
    showError = [](QWidget* owner, const QString& text) { QMessageBox::critical(owner, QString(), text); };
    connect(choose, &QPushButton::clicked, this, [this] {
        const QStringList chosen =
            askInputFiles(this, Text(text::filter_avi_recordings) + QStringLiteral(" (*.avi)"));
        if (!chosen.isEmpty())
            SetFiles(chosen);
    });
    connect(copy, &QPushButton::clicked, this, [this] { StartJob(false); });
    connect(reencode, &QPushButton::clicked, this, [this] { StartJob(true); });

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(Text(text::device_export_files)), 1);
    top->addWidget(choose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(list, 1);
    layout->addWidget(copy);
    layout->addWidget(reencode);
    layout->addWidget(progress);
    layout->addWidget(status);
    resize(520, 460);
    UpdateNotes();
    runner = makeRunner(*this);
}

ExportDialog::~ExportDialog() {
    // Stops the worker (a job still running is abandoned and its output
    // removed) while the dialog it reports to still exists.
    runner.reset();
}

QWidget* ExportDialog::Control(int id) const {
    return findChild<QWidget*>(QStringLiteral("c%1").arg(id));
}

bool ExportDialog::Busy() const {
    return runner && runner->Busy();
}

void ExportDialog::SetFiles(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    folder = QFileInfo(paths.first()).absolutePath().toStdString();
    files.clear();
    list->clear();
    for (const QString& path : paths) {
        const QFileInfo info(path);
        // A name in the first file's folder is kept bare; another folder's
        // file keeps its whole path.
        const std::string name = info.absolutePath().toStdString() == folder
                                     ? info.fileName().toStdString()
                                     : info.absoluteFilePath().toStdString();
        files.push_back(name);
        list->addItem(QString::fromStdString(name));
    }
    StoreSetting(QStringLiteral("export/inputFolder"), QString::fromStdString(folder));
    UpdateNotes();
}

void ExportDialog::UpdateNotes() {
    copy->setDescription(Text(files.empty() ? text::export_choose_first : text::export_copy_tip));
    reencode->setDescription(files.empty() ? QString() : Text(text::export_reencode_tip));
}

void ExportDialog::SetControlsEnabled(bool enabled) {
    for (QWidget* w : {static_cast<QWidget*>(choose), static_cast<QWidget*>(list),
                       static_cast<QWidget*>(copy), static_cast<QWidget*>(reencode)})
        w->setEnabled(enabled);
}

void ExportDialog::StartJob(bool reencodeJob) {
    if (!runner || runner->Busy())
        return;
    std::string output;
    if (!files.empty()) {
        const QString initial =
            QDir(QString::fromStdString(folder)).filePath(Text(text::filter_export_file_name).left(259));
        QString chosen =
            askOutputFile(this, Text(text::filter_avi_recordings) + QStringLiteral(" (*.avi)"), initial);
        if (chosen.isEmpty())
            return; // cancelled: nothing starts
        if (QFileInfo(chosen).suffix().isEmpty())
            chosen += QStringLiteral(".avi");
        output = chosen.toStdString();
    }
    SetControlsEnabled(false);
    if (!runner->Start(reencodeJob, folder, files, output))
        SetControlsEnabled(true);
}

void ExportDialog::ShowStatus(const QString& text) {
    status->setText(text);
}
void ExportDialog::ShowProgress(unsigned position) {
    progress->setValue(static_cast<int>(std::min(position, 100u)));
}

void ExportDialog::ShowError(const QString& text) {
    showError(this, text);
}

void ExportDialog::JobEnded() {
    progress->setValue(0);
    SetControlsEnabled(true);
}

void ExportDialog::reject() {
    if (Busy()) {
        QApplication::beep();
        return; // closing waits until the job has ended
    }
    QDialog::reject();
}

void ExportDialog::closeEvent(QCloseEvent* event) {
    if (Busy()) {
        QApplication::beep();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace korvex
