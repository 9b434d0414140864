#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace korvex {

class DeviceJobs;
struct DownloadRecordingsRequest;
struct DownloadReport;
struct Listing;

// The recordings browser: camera folders, their folders, the hours and the
// recordings (several may be selected), the local folder with its browse
// button, "list" and "download". Each action posts a job only while none
// runs (and is ignored otherwise); the jobs' results fill the lists (Show,
// Copied) while the dialog is attached.
class RecordingsDialog : public QDialog {
    Q_OBJECT
public:
    // The widgets, found by their object names ("cameraList", ...).
    enum Control { Cameras, Folders, Hours, Files, LocalFolder, Browse, List, Download, Close };

    RecordingsDialog(DeviceJobs& jobs, QWidget* parent = nullptr);
    ~RecordingsDialog() override;

    QWidget* Control(int id) const;
    QListWidget* Level(int level) const { return lists[level]; }
    // The folder picker (titled text::recordings_choose_target); tests answer it.
    std::function<QString(QWidget* owner, const QString& title, const QString& start)> chooseFolder;
    // Opens a folder in the desktop's file manager; tests watch it.
    std::function<void(const QString& folder)> openFolder;

    // Where copies go when the folder field is empty: a folder of the
    // device under the user's videos folder.
    static QString DefaultFolder(const QString& device);
    // The folder the copies go to now (the field, else the default).
    QString SaveFolder() const;
    // The line under the lists saying where the last copies went (with its
    // button to open that folder).
    QLabel& SavedNote() const { return *savedNote; }
    QPushButton& OpenButton() const { return *openButton; }

    // "" or ending in "/": blanks trimmed, "~/" expanded, "." and ".."
    // resolved, a separator appended.
    static std::string NormalisedFolder(const QString& text);
    DownloadRecordingsRequest Request() const;

    // Results of the session's jobs (user-interface thread): a level
    // listed, and the copies a download made (all of them when `whole`),
    // which are marked as saved.
    void Show(const Listing& listing);
    void Copied(const DownloadReport& copied, bool whole);

    void done(int result) override;

private:
    void SetLines(int level, const std::vector<std::string>& lines);
    void ReplaceLine(int level, size_t index, const std::string& line, bool select);
    // Lists `level` (0..3) below the selections; copies the selected files.
    void ListLevel(int level);
    void CopySelected();
    void SelectionChanged(int level);
    // The local path of file `row` of the listed hour ("" when unknown).
    QString LocalCopy(size_t row) const;
    // The folder of the selected hour's copies.
    QString HourFolder() const;
    // File lines get the size and length of their local copy.
    void ShowFacts(int row);
    // After a download: says where the copies went.
    void WatchCopy(std::vector<std::string> wanted);

    DeviceJobs& jobs;
    QListWidget* lists[4];
    QLineEdit* folder;
    QLabel* savedNote;
    QPushButton* openButton;
    QTimer* copyWatch;
    QString device;                    // "%u.%u.%u.%u" of the session's device
    std::vector<std::string> names[4]; // of the last listing of each level
    bool attached = true;
    int filling = 0; // > 0 while the session's updates change the lists
};

} // namespace korvex
