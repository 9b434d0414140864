#include "app/session/ProjectRecovery.h"

#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/session/ProjectSession.h"
#include "files/ProjectFile.h"
#include "framework/AtomicFile.h"
#include "framework/BinaryFile.h"
#include "framework/InputFile.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvex {

namespace {

std::string ReadSmallFile(const std::string& path) {
    try {
        // The size is known before anything is read: a huge file costs nothing.
        InputFile file(path);
        if (file.Size() > 8192)
            return {};
        std::string text(size_t(file.Size()), '\0');
        file.Read(text.data(), text.size());
        return text;
    } catch (const std::exception&) {
        return {};
    }
}

// True while another run holds the lock of `id` in `folder`.
bool HeldByARun(const QString& folder, const QString& id) {
    const QByteArray lock = QFile::encodeName(folder + QLatin1Char('/') + id + QStringLiteral(".lock"));
    const int fd = ::open(lock.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false; // no lock file: its run has ended
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd); // also lets go of the lock just taken
    return held;
}

} // namespace

ProjectRecovery::ProjectRecovery(ProjectSession& projects, QObject* parent)
    : QObject(parent), projects(projects) {
    timer.setSingleShot(false);
    connect(&timer, &QTimer::timeout, this, [this] {
        if (this->projects.GetDocument().Edits() != editsAtCopy)
            WriteNow();
    });
}

ProjectRecovery::~ProjectRecovery() {
    // A copy still here belongs to a run that did not end by closing (the
    // frame removes it when it closes); it stays for the next start.
    if (lockFd >= 0) {
        ::unlink(lockPath.c_str());
        ::close(lockFd);
    }
}

QString ProjectRecovery::Folder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    QString base =
        state && *state ? QString::fromLocal8Bit(state) : QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/korvex/recovery");
}

void ProjectRecovery::Start(int interval_ms, int perCopy) {
    changesPerCopy = std::max(1, perCopy);
    // Edits made before the copies start count from here.
    editsAtCopy = projects.GetDocument().Edits();
    const QString folder = Folder();
    QDir().mkpath(folder);
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    id = std::to_string(::getpid()) + "-" + std::to_string(QDateTime::currentMSecsSinceEpoch());
    const std::string base = QFile::encodeName(folder).toStdString() + "/" + id;
    copyPath = base + ".kvx";
    pathFile = base + ".path";
    lockPath = base + ".lock";
    lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0 || ::flock(lockFd, LOCK_EX | LOCK_NB) != 0)
        Trace("ProjectRecovery::Start: cannot lock %s\n", lockPath.c_str());
    timer.start(interval_ms);
}

void ProjectRecovery::DocumentChanged() {
    if (id.empty())
        return;
    if (!projects.GetDocument().Modified()) {
        // Saved, new, opened or undone back to the saved state.
        RemoveCopy();
        return;
    }
    // Counted in edits, not in refreshes: several edits can reach the
    // window in one refresh, and a refresh can come without an edit.
    if (projects.GetDocument().Edits() - editsAtCopy >= uint64_t(changesPerCopy))
        WriteNow();
}

bool ProjectRecovery::WriteNow() {
    Document& document = projects.GetDocument();
    if (id.empty() || !document.Modified())
        return false;
    editsAtCopy = document.Edits();
    try {
        const std::vector<uint8_t> bytes = ProjectFileBytes(document.Current(), document.Path());
        // The project's path first, so a copy never stands without it.
        AtomicFile::WriteAll(pathFile, document.Path().data(), document.Path().size());
        AtomicFile::WriteAll(copyPath, bytes.data(), bytes.size());
    } catch (const std::exception& e) {
        // A state the project file cannot hold yet, or a full disk: the
        // next change tries again; the editing goes on undisturbed.
        Trace("ProjectRecovery::WriteNow: %s\n", e.what());
        return false;
    }
    copyExists = true;
    ++copies;
    return true;
}

void ProjectRecovery::RemoveCopy() {
    editsAtCopy = projects.GetDocument().Edits();
    if (!copyExists)
        return;
    ::unlink(copyPath.c_str());
    ::unlink(pathFile.c_str());
    copyExists = false;
}

std::vector<ProjectRecovery::Entry> ProjectRecovery::Pending() {
    std::vector<Entry> entries;
    const QString folder = Folder();
    const QFileInfoList copies =
        QDir(folder).entryInfoList({QStringLiteral("*.kvx")}, QDir::Files, QDir::Time); // newest first
    for (const QFileInfo& copy : copies) {
        const QString id = copy.completeBaseName();
        if (HeldByARun(folder, id))
            continue;
        Entry entry;
        entry.copy = QFile::encodeName(copy.absoluteFilePath()).toStdString();
        entry.project = ReadSmallFile(
            QFile::encodeName(folder + QLatin1Char('/') + id + QStringLiteral(".path")).toStdString());
        entry.written = copy.lastModified();
        const QFileInfo project(QString::fromStdString(entry.project));
        if (!entry.project.empty() && project.exists() && project.lastModified() > entry.written) {
            // Saved again after the copy was made: the copy is older work.
            Remove(entry);
            continue;
        }
        entries.push_back(entry);
    }
    // What a run that died between its two writes, or after its lock was
    // made, leaves behind without a copy.
    const QFileInfoList leftovers =
        QDir(folder).entryInfoList({QStringLiteral("*.path"), QStringLiteral("*.lock")}, QDir::Files);
    for (const QFileInfo& file : leftovers) {
        const QString id = file.completeBaseName();
        if (!QFileInfo::exists(folder + QLatin1Char('/') + id + QStringLiteral(".kvx")) &&
            !HeldByARun(folder, id))
            QFile::remove(file.absoluteFilePath());
    }
    return entries;
}

void ProjectRecovery::Remove(const Entry& entry) {
    const std::string base = entry.copy.substr(0, entry.copy.size() - 4);
    ::unlink(entry.copy.c_str());
    ::unlink((base + ".path").c_str());
    ::unlink((base + ".lock").c_str());
}

void ProjectRecovery::Recover(const Entry& entry) {
    RenderState copy = LoadProject(entry.copy); // a broken copy stops here
    RenderState saved = RenderState::NewProject();
    if (!entry.project.empty() && QFileInfo::exists(QString::fromStdString(entry.project))) {
        try {
            saved = LoadProject(entry.project);
        } catch (const std::exception& e) {
            Trace("ProjectRecovery::Recover: %s\n", e.what());
        }
    }
    Document& document = projects.GetDocument();
    document.ReplaceWithLoaded(std::move(saved), entry.project);
    document.NewRenderState(std::move(copy));
}

bool ProjectRecovery::OfferPending(Prompter& prompter, QWidget* owner,
                                   const std::function<void(const QString&)>& note) {
    bool replaced = false;
    for (const Entry& entry : Pending()) {
        const QString name =
            entry.project.empty() ? Text(text::app_recovery_untitled) : QString::fromStdString(entry.project);
        const QString when = QLocale().toString(entry.written, QLocale::ShortFormat);
        const Prompter::Answer answer =
            prompter.AskThreeWay(owner, Text(text::app_recovery_question).arg(name, when),
                                 Text(text::app_recovery_caption), Text(text::app_recovery_recover),
                                 Text(text::app_recovery_discard), Text(text::app_recovery_later));
        if (answer == Prompter::No) {
            Remove(entry);
            continue;
        }
        if (answer == Prompter::Cancel || !projects.MayClose())
            continue; // asked again at the next start
        try {
            Recover(entry);
        } catch (const std::exception& e) {
            prompter.Error(owner, Text(text::app_recovery_unreadable).arg(QString::fromUtf8(e.what())));
            continue;
        }
        // This run's copy takes over before the old one goes.
        WriteNow();
        Remove(entry);
        replaced = true;
        if (note)
            note(Text(text::app_recovery_done).arg(name));
    }
    return replaced;
}

} // namespace korvex
