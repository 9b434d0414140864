#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;

namespace korvex {

class DeviceJobs;
struct DownloadRecordingsRequest;

// The recordings browser: camera folders (1090), their folders (1015), the
// hours (1091) and the recordings (1012, several may be selected), the
// local folder (1031) with its browse button (1020), "list" (1014) and
// "download" (1013). Each action posts a job only while none runs (and is
// ignored otherwise); the session fills the lists through SetLines and
// ReplaceLine while the dialog is attached.
class RecordingsDialog : public QDialog {
    Q_OBJECT
public:
    enum Control {
        Cameras = 1090,
        Folders = 1015,
        Hours = 1091,
        Files = 1012,
        LocalFolder = 1031,
        Browse = 1020,
        List = 1014,
        Download = 1013,
    };

    RecordingsDialog(DeviceJobs& jobs, QWidget* parent = nullptr);
    ~RecordingsDialog() override;

    QWidget* Control(int id) const;
    QListWidget* Level(int level) const { return lists[level]; }
    // The folder picker (titled text::recordings_choose_target); tests answer it.
    std::function<QString(QWidget* owner, const QString& title, const QString& start)> chooseFolder;

    // "" or ending in "/": blanks trimmed, "~/" expanded, "." and ".."
    // resolved, a separator appended.
    static std::string NormalisedFolder(const QString& text);
    DownloadRecordingsRequest Request() const;

    // From the session (user-interface thread).
    void SetLines(int level, const std::vector<std::string>& lines);
    void ReplaceLine(int level, size_t index, const std::string& line, bool select);

    void done(int result) override;

private:
    // Lists `level` (0..3) below the selections; copies the selected files.
    void ListLevel(int level);
    void CopySelected();
    void SelectionChanged(int level);

    DeviceJobs& jobs;
    QListWidget* lists[4];
    QLineEdit* folder;
    bool attached = true;
    int filling = 0; // > 0 while the session's updates change the lists
};

} // namespace korvex
