#include "app/session/ProjectSession.h"

#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "files/ProjectFile.h"
#include "framework/TextIds.h"

#include <filesystem>

namespace korvex {

namespace {

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return a == b || std::filesystem::equivalent(a, b, ec);
}

} // namespace

ProjectSession::ProjectSession(Prompter& prompter, QWidget* owner) : prompter(prompter), owner(owner) {
    document.New();
}

bool ProjectSession::MayClose() {
    if (!document.Modified() || endingWithoutQuestions)
        return true;
    // The question names the project and its answers say what they do.
    const std::string name = document.Path().empty()
                                 ? Text(text::onsite_untitled).toStdString()
                                 : std::filesystem::path(document.Path()).filename().string();
    const QString question =
        QString::fromStdString(FillText(Text(text::onsite_save_changes_question).toStdString(), {name}));
    switch (prompter.AskThreeWay(owner, question, Text(text::unsaved_caption), Text(text::onsite_save),
                                 Text(text::onsite_dont_save), Text(text::onsite_cancel))) {
    case Prompter::Yes:
        return Save();
    case Prompter::No:
        return true;
    case Prompter::Cancel:
        break;
    }
    return false;
}

bool ProjectSession::NewProject() {
    if (!MayClose())
        return false;
    document.New();
    readFrom.clear();
    unreadParts.clear();
    return true;
}

bool ProjectSession::OpenProject() {
    if (!MayClose())
        return false;
    QString path = prompter.OpenFile(owner, Text(text::filter_project_files), QStringLiteral("*.kvx"));
    if (path.isEmpty())
        return false;
    Open(path.toStdString());
    return true;
}

void ProjectSession::Open(const std::string& path) {
    // An incomplete file opens with what could be read, and the user is
    // told; saving over it asks first (MaySaveOver).
    ProjectRead read = ReadProjectFile(path);
    const ReadGaps gaps = std::move(read.gaps);
    document.ReplaceWithLoaded(std::move(read.state), path);
    readFrom = path;
    unreadParts = UnreadPartsText(gaps);
    if (!gaps.Complete())
        prompter.Error(owner,
                       QString::fromStdString(FillText(Text(text::file_incomplete_opened).toStdString(),
                                                       {IncompleteFileText(path, gaps)})));
}

bool ProjectSession::MaySaveOver(const std::string& path) {
    if (unreadParts.empty() || !SameFile(path, readFrom))
        return true;
    return prompter.Warning(owner,
                            QString::fromStdString(FillText(
                                Text(text::file_save_over_incomplete).toStdString(), {path, unreadParts})),
                            Text(text::file_incomplete_caption));
}

void ProjectSession::SaveTo(const std::string& path) {
    SaveProject(document, path);
    // The project now belongs to a file that holds all of it.
    readFrom = path;
    unreadParts.clear();
}

bool ProjectSession::Save() {
    if (document.Path().empty())
        return SaveAs();
    if (!MaySaveOver(document.Path()))
        return false;
    SaveTo(document.Path());
    return true;
}

bool ProjectSession::SaveAs() {
    // The dialog starts at the project's own file, in its folder.
    QString path = prompter.SaveFileAt(owner, Text(text::filter_save_project_as),
                                       Text(text::filter_project_files), QStringLiteral("*.kvx"),
                                       QStringLiteral("kvx"), QString::fromStdString(document.Path()));
    if (path.isEmpty() || !MaySaveOver(path.toStdString()))
        return false;
    SaveTo(path.toStdString());
    return true;
}

std::vector<uint8_t> ProjectSession::FileBytes() const {
    return ProjectFileBytes(document.Current(), document.Path());
}

} // namespace korvex
