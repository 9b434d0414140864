#pragma once

#include <QDialog>

class QLabel;

namespace korvex {

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

} // namespace korvex
