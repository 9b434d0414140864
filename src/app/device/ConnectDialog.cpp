#include "app/device/ConnectDialog.h"

#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/device/DeviceJobs.h"
#include "app/device/Ipv4Edit.h"
#include "framework/TextIds.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

namespace korvex {

namespace {
// Object names of the fields, in the order of ConnectDialog::Control.
const char* const kFieldNames[] = {"deviceAddress", "userName", "password", "port", "usedBefore"};
} // namespace

ConnectDialog::ConnectDialog(DeviceJobs& jobs, Prompter& prompter, QWidget* parent)
    : QDialog(parent), jobs(jobs), prompter(prompter) {
    setWindowTitle(Text(text::device_connect_title));
    address = new Ipv4Edit;
    address->setObjectName(QLatin1String(kFieldNames[Address]));
    port = new QSpinBox;
    port->setObjectName(QLatin1String(kFieldNames[Port]));
    port->setRange(1, 65535);
    port->setValue(22);
    user = new QLineEdit;
    user->setObjectName(QLatin1String(kFieldNames[User]));
    user->setMaxLength(99);
    password = new QLineEdit;
    password->setObjectName(QLatin1String(kFieldNames[Password]));
    password->setMaxLength(99);
    password->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    form->addRow(Text(text::device_connect_address), address);
    form->addRow(Text(text::device_connect_port), port);
    form->addRow(Text(text::device_connect_user), user);
    form->addRow(Text(text::device_connect_password), password);
    usedBeforeHeading = new QLabel(Text(text::device_connect_used_before));
    usedBefore = new QListWidget;
    usedBefore->setObjectName(QLatin1String(kFieldNames[UsedBefore]));
    // A line too long for the widest dialog keeps both its ends.
    usedBefore->setTextElideMode(Qt::ElideMiddle);
    usedBefore->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    usedBeforeHeading->hide();
    usedBefore->hide();
    connect(usedBefore, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0 || row >= usedDevices.size())
            return;
        const RememberedDevice& d = usedDevices[row];
        address->setText(d.address);
        address->SetMarked(false);
        port->setValue(d.port);
        user->setText(d.user.left(99));
        password->clear();
        password->setFocus();
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &ConnectDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ConnectDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(usedBeforeHeading);
    layout->addWidget(usedBefore);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(340);
}

void ConnectDialog::Preset(uint32_t networkAddress, uint16_t newPort, const std::string& newUser) {
    if (networkAddress)
        address->SetNetworkAddress(networkAddress);
    else
        address->clear();
    port->setValue(newPort ? newPort : 22);
    user->setText(QString::fromStdString(newUser).left(99));
    (user->text().isEmpty() ? static_cast<QWidget*>(address->text().isEmpty() ? address : user)
                            : static_cast<QWidget*>(password))
        ->setFocus();
}

QString ConnectDialog::UsedBeforeLine(const RememberedDevice& d) {
    const QString where = d.port == 22 ? d.address : QStringLiteral("%1:%2").arg(d.address).arg(d.port);
    QString line = d.user.isEmpty() ? where : d.user + QLatin1Char('@') + where;
    if (!d.alias.isEmpty())
        line += QStringLiteral(" (%1)").arg(d.alias);
    return line;
}

void ConnectDialog::ShowUsedBefore(const QList<RememberedDevice>& devices) {
    usedDevices = devices;
    usedBefore->blockSignals(true);
    usedBefore->clear();
    int widest = 0;
    const QFontMetrics metrics = usedBefore->fontMetrics();
    for (const RememberedDevice& d : devices) {
        auto* item = new QListWidgetItem(UsedBeforeLine(d), usedBefore);
        item->setToolTip(item->text());
        widest = std::max(widest, metrics.horizontalAdvance(item->text()));
    }
    usedBefore->setCurrentRow(-1);
    usedBefore->blockSignals(false);
    // Wide enough for the longest line (up to a width that still fits a
    // screen); the rows show a handful at a time.
    const int frame = 2 * usedBefore->frameWidth() + 4 * usedBefore->spacing() + 16;
    usedBefore->setMinimumWidth(std::min(widest + frame, 900));
    const int rows = std::min(int(devices.size()), 5);
    usedBefore->setFixedHeight(rows * std::max(usedBefore->sizeHintForRow(0), metrics.height()) +
                               2 * usedBefore->frameWidth() + 2);
    usedBeforeHeading->setVisible(!devices.isEmpty());
    usedBefore->setVisible(!devices.isEmpty());
    adjustSize();
}

QWidget* ConnectDialog::Control(int id) const {
    if (id < 0 || size_t(id) >= std::size(kFieldNames))
        return nullptr;
    return findChild<QWidget*>(QLatin1String(kFieldNames[id]));
}

bool ConnectDialog::Check(ConnectDeviceRequest& request) {
    const auto value = address->NetworkAddress();
    if (!value || *value == 0 || *value == 0xFFFFFFFFu) {
        address->SetMarked(true, Text(text::device_bad_address));
        prompter.Error(this, Text(text::device_bad_address));
        address->setFocus();
        return false;
    }
    if (user->text().isEmpty()) {
        prompter.Error(this, Text(text::device_no_user));
        user->setFocus();
        return false;
    }
    request.deviceAddress = *value;
    request.port = static_cast<uint16_t>(port->value());
    request.userName = user->text().left(99).toStdString();
    request.password = password->text().left(99).toStdString();
    return true;
}

void ConnectDialog::accept() {
    ConnectDeviceRequest request;
    if (!Check(request))
        return;
    if (!jobs.Post(request)) {
        // Another job is still running: say so and keep what was typed.
        prompter.Error(this, Text(text::network_device_busy));
        return;
    }
    Q_EMIT Posted(request.deviceAddress, request.port, QString::fromStdString(request.userName));
    password->clear();
    QDialog::accept();
}

} // namespace korvex
