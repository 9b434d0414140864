#pragma once

#include "model/Document.h"

#include <cstdint>
#include <string>
#include <vector>

class QWidget;

namespace korvex {

class Prompter;

// The project being edited and the file commands around it: new, open,
// save, save as and the question before a modified project is dropped.
// Boxes and file dialogs are asked over `owner` through the prompter.
//
// A file that reads only in part (cut short or damaged) is opened with
// what could be read, and a box says what was not read; saving over that
// file asks first, since it would make the loss permanent.
class ProjectSession {
public:
    ProjectSession(Prompter& prompter, QWidget* owner);

    Document& GetDocument() { return document; }
    const RenderState& State() const { return document.Current(); }

    // A modified project asks first: Yes saves (false when saving was
    // cancelled), No drops the changes, Cancel keeps the project.
    bool MayClose();
    // From now on MayClose lets the project go without asking: the program
    // is ending on a termination request, and the unsaved changes go to a
    // recovery copy instead.
    void EndWithoutQuestions() { endingWithoutQuestions = true; }
    // Each returns true when the document was replaced.
    bool NewProject();
    bool OpenProject();
    // Raises the open errors; an incomplete file is opened and reported.
    void Open(const std::string& path);
    // False when the user cancelled the file dialog.
    bool Save();
    bool SaveAs();
    // The bytes of the project file as saving writes them.
    std::vector<uint8_t> FileBytes() const;
    // True while the project comes from a file that was not read whole and
    // has not been saved since.
    bool FromIncompleteFile() const { return !unreadParts.empty(); }

private:
    // False when `path` is the incomplete file the project was read from
    // and the user does not want to save over it.
    bool MaySaveOver(const std::string& path);
    void SaveTo(const std::string& path);

    Prompter& prompter;
    QWidget* owner;
    Document document;
    std::string readFrom;    // the file the project was read from
    std::string unreadParts; // what was not read of it; "" when it was whole
    bool endingWithoutQuestions = false;
};

} // namespace korvex
