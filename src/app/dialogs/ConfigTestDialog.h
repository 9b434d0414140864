#pragma once

#include "model/RenderState.h"

#include <QDialog>

class QListWidget;

namespace korvex {

class Prompter;

// The configuration test: builds the device configuration package of the
// current state for the alias "test" and lists the names of its files
// (list 1012). An error while building is shown and the list stays empty.
class ConfigTestDialog : public QDialog {
    Q_OBJECT
public:
    ConfigTestDialog(const RenderState& state, Prompter& prompter, QWidget* parent = nullptr);
    QStringList Names() const;
    // Builds the list; called once the dialog is shown.
    void Fill();

protected:
    void showEvent(QShowEvent* event) override;

private:
    const RenderState& state;
    Prompter& prompter;
    QListWidget* list;
    bool filled = false;
};

} // namespace korvex
