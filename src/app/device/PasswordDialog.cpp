#include "app/device/PasswordDialog.h"

#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/device/DeviceJobs.h"
#include "framework/TextIds.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>
#include <iterator>

namespace korvex {

namespace {
const char* const kFieldNames[] = {"userName", "currentPassword", "newPassword", "repeatedPassword"};

QLineEdit* Edit(int id, bool secret) {
    auto* edit = new QLineEdit;
    edit->setObjectName(QLatin1String(kFieldNames[id]));
    edit->setMaxLength(99);
    if (secret)
        edit->setEchoMode(QLineEdit::Password);
    return edit;
}
} // namespace

PasswordDialog::PasswordDialog(DeviceJobs& jobs, Prompter& prompter, QWidget* parent)
    : QDialog(parent), jobs(jobs), prompter(prompter) {
    setWindowTitle(Text(text::device_password_title));
    QLineEdit* user = Edit(User, false);
    user->setText(QString::fromStdString(jobs.UserName()));
    user->setReadOnly(true);
    current = Edit(Current, true);
    fresh = Edit(New, true);
    repeat = Edit(Repeat, true);
    auto* form = new QFormLayout;
    form->addRow(Text(text::device_password_user), user);
    form->addRow(Text(text::device_password_current), current);
    form->addRow(Text(text::device_password_new), fresh);
    form->addRow(Text(text::device_password_repeat), repeat);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &PasswordDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PasswordDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(340);
    current->setFocus();
}

QWidget* PasswordDialog::Control(int id) const {
    if (id < 0 || size_t(id) >= std::size(kFieldNames))
        return nullptr;
    return findChild<QWidget*>(QLatin1String(kFieldNames[id]));
}

void PasswordDialog::accept() {
    if (!jobs.PasswordIs(current->text().left(99).toStdString())) {
        prompter.Error(this, Text(text::password_current_wrong));
        current->selectAll();
        current->setFocus();
        return;
    }
    if (fresh->text() != repeat->text()) {
        prompter.Error(this, Text(text::password_mismatch));
        repeat->selectAll();
        repeat->setFocus();
        return;
    }
    // While another job runs the session may be reading the password; it is
    // changed only together with posting the job.
    if (!jobs.Post(ChangePasswordRequest{fresh->text().left(99).toStdString()})) {
        prompter.Error(this, Text(text::network_device_busy));
        return;
    }
    QDialog::accept();
}

} // namespace korvex
