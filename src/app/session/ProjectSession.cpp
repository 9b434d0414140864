#include "app/session/ProjectSession.h"

#include "app/common/AppStrings.h"
#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "files/ProjectFile.h"

namespace korvex {

ProjectSession::ProjectSession(Prompter& prompter, QWidget* owner) : prompter(prompter), owner(owner) {
    document.New();
}

bool ProjectSession::MayClose() {
    if (!document.Modified())
        return true;
    switch (prompter.Question(owner, Text(kStrSaveChangesQuestion), Text(kStrUnsavedChanges))) {
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
    return true;
}

bool ProjectSession::OpenProject() {
    if (!MayClose())
        return false;
    QString path = prompter.OpenFile(owner, Text(kStrProjectFiles), QStringLiteral("*.kvx"));
    if (path.isEmpty())
        return false;
    Open(path.toStdString());
    return true;
}

void ProjectSession::Open(const std::string& path) {
    korvex::OpenProject(document, path);
}

bool ProjectSession::Save() {
    if (document.Path().empty())
        return SaveAs();
    SaveProject(document, document.Path());
    return true;
}

bool ProjectSession::SaveAs() {
    QString path =
        prompter.SaveFile(owner, Text(kStrSaveProjectAs), Text(kStrProjectFiles), QStringLiteral("*.kvx"), QStringLiteral("kvx"));
    if (path.isEmpty())
        return false;
    SaveProject(document, path.toStdString());
    return true;
}

std::vector<uint8_t> ProjectSession::FileBytes() const {
    return ProjectFileBytes(document.Current(), document.Path());
}

} // namespace korvex
