#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace korvex {

class Prompter;
class ProjectSession;

// Keeps a copy of unsaved changes so a crash loses at most a minute of work.
//
// While the project has unsaved changes, a copy of it (a project file as
// saving would write it) is written every minute and on every twentieth
// change, atomically, to $XDG_STATE_HOME/korvex/recovery/<run>.kvx, with the
// project's own path in <run>.path (~/.local/state when XDG_STATE_HOME is
// unset). Saving, a new or opened project and closing remove the copy.
// Each run holds a lock on <run>.lock for as long as it lives, so the next
// start tells copies left by a run that died from those of a Korvex that is
// still open.
class ProjectRecovery : public QObject {
public:
    struct Entry {
        std::string copy;    // the kept project file
        std::string project; // the project it belongs to; "" when untitled
        QDateTime written;
    };

    explicit ProjectRecovery(ProjectSession& projects, QObject* parent = nullptr);
    // Lets go of the lock; a copy still there is left for the next start
    // (closing the frame removes it first).
    ~ProjectRecovery() override;

    // Starts keeping copies (the lock first).
    void Start(int interval_ms = 60000, int changesPerCopy = 20);
    // One change of the document, as the frame's refresh reports it.
    void DocumentChanged();
    // Writes the copy now when there are unsaved changes; false when there
    // was nothing to write or writing failed.
    bool WriteNow();
    // Removes the run's copy (not its lock).
    void RemoveCopy();
    unsigned CopiesWritten() const { return copies; }
    const std::string& CopyPath() const { return copyPath; }

    // The folder of the copies.
    static QString Folder();
    // Copies left by runs that ended without removing them, newest first.
    // Copies older than their saved project (it was saved again since) are
    // removed, copies of runs still open are left alone.
    static std::vector<Entry> Pending();
    static void Remove(const Entry& entry);

    // Replaces the document by a kept copy: the saved project (when there
    // is one) becomes the state one undo step back, the copy the current,
    // unsaved state. A copy that cannot be read raises its error and
    // changes nothing.
    void Recover(const Entry& entry);
    // Asks about every pending copy: recover, discard or decide at the next
    // start. `note` gets the status text after a recovery. True when the
    // document was replaced.
    bool OfferPending(Prompter& prompter, QWidget* owner, const std::function<void(const QString&)>& note);

private:
    ProjectSession& projects;
    QTimer timer;
    std::string id;
    std::string copyPath;
    std::string pathFile;
    std::string lockPath;
    int lockFd = -1;
    int changesPerCopy = 20;
    uint64_t editsAtCopy = 0; // the document's edit count the copy (or its removal) reflects
    bool copyExists = false;
    unsigned copies = 0;
};

} // namespace korvex
