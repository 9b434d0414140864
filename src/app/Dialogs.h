#pragma once

#include "model/RenderState.h"

#include <QDialog>

class QLabel;
class QListWidget;

namespace korvex {

class Prompter;

// The about box: program name and version, a short description and a link
// to the web site (control 1096 holds the version line).
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
    QString VersionText() const;

private:
    QLabel* version;
};

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
