#pragma once

#include <QDialog>

class QLineEdit;

namespace korvex {

class DeviceJobs;
class Prompter;

// Change password: the user (shown only), the current password and the new
// one twice, each at most 99 characters. OK refuses a wrong current password
// (text::password_current_wrong) and two different new ones
// (text::password_mismatch), keeping the dialog open; otherwise it posts the change.
class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    // The fields, found by their object names ("userName", ...).
    enum Control { User, Current, New, Repeat };

    PasswordDialog(DeviceJobs& jobs, Prompter& prompter, QWidget* parent = nullptr);
    QWidget* Control(int id) const;
    void accept() override;

private:
    DeviceJobs& jobs;
    Prompter& prompter;
    QLineEdit* current;
    QLineEdit* fresh;
    QLineEdit* repeat;
};

} // namespace korvex
