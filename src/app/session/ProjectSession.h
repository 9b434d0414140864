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
class ProjectSession {
public:
    ProjectSession(Prompter& prompter, QWidget* owner);

    Document& GetDocument() { return document; }
    const RenderState& State() const { return document.Current(); }

    // A modified project asks first: Yes saves (false when saving was
    // cancelled), No drops the changes, Cancel keeps the project.
    bool MayClose();
    // Each returns true when the document was replaced.
    bool NewProject();
    bool OpenProject();
    void Open(const std::string& path);
    // False when the user cancelled the file dialog.
    bool Save();
    bool SaveAs();
    // The bytes of the project file as saving writes them.
    std::vector<uint8_t> FileBytes() const;

private:
    Prompter& prompter;
    QWidget* owner;
    Document document;
};

} // namespace korvex
