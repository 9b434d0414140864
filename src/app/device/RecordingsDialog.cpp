#include "app/device/RecordingsDialog.h"

#include "app/common/UiText.h"
#include "app/device/DeviceJobs.h"
#include "app/device/DeviceSettings.h"
#include "app/device/RecordingFile.h"
#include "devicelink/DeviceResults.h"
#include "devicelink/DeviceTexts.h"
#include "framework/TextIds.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

namespace korvex {

namespace {

// What the session appends to a line whose local copy exists.
const QString kSavedMark = QStringLiteral("  [S]");

const char* const kWidgetNames[] = {"cameraList", "folderList",     "hourList",
                                    "fileList",   "localFolder",    "browseButton",
                                    "listButton", "downloadButton", "closeButton"};

// A camera folder of the device (cam1..cam8) as the window names cameras
// everywhere: by its card letter, with the device's folder beside it.
std::string CameraLine(const std::string& name) {
    if (name.size() != 4 || name.compare(0, 3, "cam") != 0 || name[3] < '1' || name[3] > '8')
        return name;
    return Text(text::device_network_camera)
        .arg(QChar('A' + (name[3] - '1')))
        .arg(QString::fromStdString(name))
        .toStdString();
}

} // namespace

QString RecordingsDialog::DefaultFolder(const QString& device) {
    QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (videos.isEmpty())
        videos = QDir::homePath() + QStringLiteral("/Videos");
    const QString name = device.isEmpty() ? QStringLiteral("device") : device;
    return QDir::cleanPath(videos + QStringLiteral("/Korvex/") + name);
}

QString RecordingsDialog::SaveFolder() const {
    const QString typed = folder->text().trimmed();
    return typed.isEmpty() ? DefaultFolder(device) : typed;
}

RecordingsDialog::RecordingsDialog(DeviceJobs& jobs, QWidget* parent)
    : QDialog(parent), jobs(jobs), device(QString::fromStdString(jobs.DeviceAddressText())) {
    setWindowTitle(Text(text::device_recordings_title));
    const unsigned titles[4] = {text::device_recordings_cameras, text::device_recordings_folders,
                                text::device_recordings_hours, text::device_recordings_files};
    auto* grid = new QGridLayout;
    for (int level = 0; level < 4; ++level) {
        lists[level] = new QListWidget;
        lists[level]->setObjectName(QLatin1String(kWidgetNames[level]));
        lists[level]->setSelectionMode(level == 3 ? QAbstractItemView::ExtendedSelection
                                                  : QAbstractItemView::SingleSelection);
        grid->addWidget(new QLabel(Text(titles[level])), 0, level);
        grid->addWidget(lists[level], 1, level);
        grid->setColumnStretch(level, level == 3 ? 2 : 1);
        if (level < 3)
            connect(lists[level], &QListWidget::itemSelectionChanged, this,
                    [this, level] { SelectionChanged(level); });
    }
    folder = new QLineEdit;
    folder->setObjectName(QLatin1String(kWidgetNames[LocalFolder]));
    folder->setMaxLength(259);
    folder->setText(LoadDeviceSetting(QStringLiteral("recordings/localFolder")));
    // Empty: the device's folder under the user's videos.
    folder->setPlaceholderText(QString::fromStdString(FillText(
        Text(text::device_recordings_default_folder).toStdString(), {DefaultFolder(device).toStdString()})));
    auto* browse = new QPushButton(Text(text::device_recordings_browse));
    browse->setObjectName(QLatin1String(kWidgetNames[Browse]));
    auto* list = new QPushButton(Text(text::device_recordings_list));
    list->setObjectName(QLatin1String(kWidgetNames[List]));
    auto* download = new QPushButton(Text(text::device_recordings_download));
    download->setObjectName(QLatin1String(kWidgetNames[Download]));
    auto* close = new QPushButton(Text(text::device_close));
    close->setObjectName(QLatin1String(kWidgetNames[Close]));
    chooseFolder = [](QWidget* owner, const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);
    };
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen = chooseFolder(this, Text(text::recordings_choose_target), folder->text());
        if (!chosen.isEmpty())
            folder->setText(chosen.left(259));
    });
    connect(list, &QPushButton::clicked, this, [this] { ListLevel(0); });
    connect(download, &QPushButton::clicked, this, [this] { CopySelected(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    savedNote = new QLabel;
    savedNote->setObjectName(QStringLiteral("savedNote"));
    savedNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    savedNote->setWordWrap(true);
    openButton = new QPushButton(Text(text::device_recordings_open_folder));
    openButton->setObjectName(QStringLiteral("openFolder"));
    savedNote->hide();
    openButton->hide();
    openFolder = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    connect(openButton, &QPushButton::clicked, this,
            [this] { openFolder(openButton->property("folder").toString()); });
    copyWatch = new QTimer(this);
    copyWatch->setInterval(100);

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(new QLabel(Text(text::device_recordings_local)));
    folderRow->addWidget(folder, 1);
    folderRow->addWidget(browse);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(list);
    buttonRow->addWidget(download);
    buttonRow->addStretch(1);
    buttonRow->addWidget(close);
    auto* savedRow = new QHBoxLayout;
    savedRow->addWidget(savedNote, 1);
    savedRow->addWidget(openButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(folderRow);
    layout->addLayout(savedRow);
    layout->addLayout(buttonRow);
    resize(820, 420);
    jobs.AttachRecordings(this);
}

RecordingsDialog::~RecordingsDialog() {
    if (attached)
        jobs.AttachRecordings(nullptr);
}

void RecordingsDialog::done(int result) {
    // A listing or download still running carries on; what it reports no
    // longer reaches this dialog.
    if (attached) {
        jobs.AttachRecordings(nullptr);
        attached = false;
    }
    QDialog::done(result);
}

QWidget* RecordingsDialog::Control(int id) const {
    if (id < 0 || size_t(id) >= std::size(kWidgetNames))
        return nullptr;
    return findChild<QWidget*>(QLatin1String(kWidgetNames[id]));
}

std::string RecordingsDialog::NormalisedFolder(const QString& text) {
    QString path = text.trimmed().left(259);
    if (path.isEmpty())
        return "";
    if (path == QStringLiteral("~") || path.startsWith(QStringLiteral("~/")))
        path = QDir::homePath() + path.mid(1);
    path = QDir::cleanPath(path);
    if (!path.endsWith(QLatin1Char('/')) && !path.endsWith(QLatin1Char('\\')))
        path += QLatin1Char('/');
    return path.toStdString();
}

DownloadRecordingsRequest RecordingsDialog::Request() const {
    DownloadRecordingsRequest request;
    request.localFolder = NormalisedFolder(SaveFolder());
    for (int level = 0; level < 3; ++level) {
        const auto selected = lists[level]->selectedItems();
        request.selected[level] = selected.isEmpty() ? -1 : lists[level]->row(selected.first());
    }
    for (int row = 0; row < lists[3]->count(); ++row)
        if (lists[3]->item(row)->isSelected())
            request.files.push_back(row);
    return request;
}

void RecordingsDialog::ListLevel(int level) {
    if (jobs.Busy())
        return; // ignored, as every action while the session is busy
    const DownloadRecordingsRequest selection = Request();
    ListLevelRequest request;
    request.level = level;
    std::copy(std::begin(selection.selected), std::end(selection.selected), request.selected);
    request.localFolder = selection.localFolder;
    if (!jobs.Post(request))
        return;
    // The levels from this one down are listed anew.
    for (int l = level; l < 4; ++l)
        SetLines(l, {});
    if (!folder->text().trimmed().isEmpty())
        StoreDeviceSetting(QStringLiteral("recordings/localFolder"), folder->text().trimmed());
}

void RecordingsDialog::CopySelected() {
    if (jobs.Busy())
        return;
    DownloadRecordingsRequest request = Request();
    // The session makes the folders of the device's layout below the local
    // folder, not the local folder itself.
    if (!request.localFolder.empty())
        QDir().mkpath(QString::fromStdString(request.localFolder));
    const bool remember = !folder->text().trimmed().isEmpty();
    std::vector<std::string> wanted;
    for (int row : request.files)
        if (size_t(row) < names[3].size())
            wanted.push_back(names[3][size_t(row)]);
    if (!jobs.Post(std::move(request)))
        return;
    if (remember)
        StoreDeviceSetting(QStringLiteral("recordings/localFolder"), folder->text().trimmed());
    WatchCopy(std::move(wanted));
}

void RecordingsDialog::WatchCopy(std::vector<std::string> wanted) {
    // The copy runs on the session thread; its end is seen here when the
    // session has no job any more.
    copyWatch->disconnect();
    const QString hour = HourFolder();
    connect(copyWatch, &QTimer::timeout, this, [this, wanted, hour] {
        if (jobs.Busy())
            return;
        copyWatch->stop();
        int saved = 0;
        for (const std::string& name : wanted)
            saved += QFileInfo(hour + QLatin1Char('/') + QString::fromStdString(name)).isFile() ? 1 : 0;
        if (saved == 0 || hour.isEmpty())
            return;
        savedNote->setText(QString::fromStdString(FillText(Text(text::device_recordings_saved).toStdString(),
                                                           {std::to_string(saved), hour.toStdString()})));
        openButton->setProperty("folder", hour);
        savedNote->show();
        openButton->show();
    });
    copyWatch->start();
}

QString RecordingsDialog::HourFolder() const {
    QString path = QString::fromStdString(NormalisedFolder(SaveFolder()));
    for (int level = 0; level < 3; ++level) {
        const auto selected = lists[level]->selectedItems();
        const int row = selected.isEmpty() ? -1 : lists[level]->row(selected.first());
        if (row < 0 || size_t(row) >= names[level].size())
            return {};
        path +=
            QString::fromStdString(names[level][size_t(row)]) + (level < 2 ? QStringLiteral("/") : QString());
    }
    return QDir::cleanPath(path);
}

QString RecordingsDialog::LocalCopy(size_t row) const {
    const QString hour = HourFolder();
    if (hour.isEmpty() || row >= names[3].size())
        return {};
    return hour + QLatin1Char('/') + QString::fromStdString(names[3][row]);
}

void RecordingsDialog::ShowFacts(int row) {
    QListWidgetItem* item = lists[3]->item(row);
    if (!item)
        return;
    const QString line = item->data(Qt::UserRole).toString();
    // Only a copy on this computer tells its size and length: the device's
    // listing gives names alone.
    const QString facts = line.endsWith(kSavedMark) ? RecordingFacts(LocalCopy(size_t(row))) : QString();
    item->setText(facts.isEmpty() ? line : line + QStringLiteral("  \u2014  ") + facts);
}

void RecordingsDialog::Show(const Listing& listing) {
    if (listing.level < 0 || listing.level > 3)
        return;
    for (int level = listing.level + 1; level < 4; ++level)
        SetLines(level, {});
    if (listing.level == 0) {
        // The camera level names cameras the window's way; a line the
        // session marked as copied keeps its mark.
        std::vector<std::string> lines = listing.lines;
        for (size_t i = 0; i < lines.size() && i < listing.names.size(); ++i) {
            const bool saved = QString::fromStdString(lines[i]).endsWith(kSavedMark);
            lines[i] = CameraLine(listing.names[i]) + (saved ? kSavedMark.toStdString() : std::string());
        }
        SetLines(0, lines);
    } else {
        SetLines(listing.level, listing.lines);
    }
    names[listing.level] = listing.names;
    for (int level = listing.level + 1; level < 4; ++level)
        names[level].clear();
    if (listing.level == 3)
        for (int row = 0; row < lists[3]->count(); ++row)
            ShowFacts(row);
}

void RecordingsDialog::Copied(const DownloadReport& copied, bool whole) {
    for (int index : copied.files)
        if (index >= 0 && size_t(index) < names[3].size())
            ReplaceLine(3, size_t(index), names[3][size_t(index)] + SavedMark, true);
    if (!whole)
        return;
    for (int level = 0; level < 3; ++level) {
        const int row = copied.selected[level];
        if (row < 0 || size_t(row) >= names[level].size())
            return;
        const std::string& name = names[level][size_t(row)];
        ReplaceLine(level, size_t(row),
                    (level == 2   ? HourLine(name)
                     : level == 0 ? CameraLine(name)
                                  : name) +
                        SavedMark,
                    true);
    }
}

void RecordingsDialog::SelectionChanged(int level) {
    if (filling || lists[level]->selectedItems().isEmpty())
        return;
    ListLevel(level + 1); // a selection in a list lists the level below it
}

void RecordingsDialog::SetLines(int level, const std::vector<std::string>& lines) {
    if (level < 0 || level > 3)
        return;
    ++filling;
    lists[level]->clear();
    for (const std::string& line : lines) {
        auto* item = new QListWidgetItem(QString::fromStdString(line), lists[level]);
        item->setData(Qt::UserRole, item->text());
    }
    --filling;
}

void RecordingsDialog::ReplaceLine(int level, size_t index, const std::string& line, bool select) {
    if (level < 0 || level > 3 || index >= static_cast<size_t>(lists[level]->count()))
        return;
    ++filling;
    QListWidgetItem* item = lists[level]->item(static_cast<int>(index));
    item->setText(QString::fromStdString(line));
    item->setData(Qt::UserRole, item->text());
    if (select)
        item->setSelected(true);
    if (level == 3)
        ShowFacts(int(index));
    --filling;
}

} // namespace korvex
