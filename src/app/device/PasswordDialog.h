#pragma once

#include <QDialog>

class QLineEdit;

namespace korvex {

class DeviceJobs;
class Prompter;

// Change password: the user (1010, shown only), the current password
// (1011) and the new one twice (1043, 1044), each at most 99 characters.
// OK refuses a wrong current password (167) and two different new ones
// (168), keeping the dialog open; otherwise it posts the change.
class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    enum Control { User = 1010, Current = 1011, New = 1043, Repeat = 1044 };

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
