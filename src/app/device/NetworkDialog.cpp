#include "app/device/NetworkDialog.h"

#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "app/device/DeviceJobs.h"
#include "app/device/Ipv4Edit.h"
#include "devicelink/DeviceResults.h"
#include "devicelink/NetworkSettings.h"
#include "framework/TextIds.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace korvex {

unsigned NetworkValueProblem(NetworkField field, uint32_t a) {
    const bool multicast = (a >> 28) == 0xE;
    switch (field) {
    case NetworkField::Netmask: {
        // Ones from the top, then zeros; neither no network nor a single host.
        const uint32_t inverted = ~a;
        if (a == 0 || a == 0xFFFFFFFFu || (inverted & (inverted + 1)) != 0)
            return text::device_refused_netmask;
        return 0;
    }
    case NetworkField::Camera:
        if (a == 0)
            return 0; // no camera on this row
        [[fallthrough]];
    case NetworkField::DeviceAddress:
    case NetworkField::Gateway:
    case NetworkField::Controller:
        if (a == 0)
            return text::device_refused_unset;
        if (a == 0xFFFFFFFFu)
            return text::device_refused_broadcast;
        if (multicast)
            return text::device_refused_multicast;
        return 0;
    }
    return 0;
}

namespace {

// The object name of a field: what it holds.
QString FieldName(int id) {
    using D = NetworkDialog;
    if (id >= D::CameraAddress0 && id < D::CameraAddress0 + 4)
        return QStringLiteral("camera%1Address").arg(id - D::CameraAddress0);
    if (id >= D::CameraChannel0 && id < D::CameraChannel0 + 4)
        return QStringLiteral("camera%1Channel").arg(id - D::CameraChannel0);
    switch (id) {
    case D::DeviceAddress:
        return QStringLiteral("deviceAddress");
    case D::Netmask:
        return QStringLiteral("netmask");
    case D::Gateway:
        return QStringLiteral("gateway");
    case D::HardwareAddress:
        return QStringLiteral("hardwareAddress");
    case D::ControllerUsed:
        return QStringLiteral("controllerUsed");
    case D::Controller:
        return QStringLiteral("controllerAddress");
    case D::PassText:
        return QStringLiteral("passText");
    case D::WriteButton:
        return QStringLiteral("writeButton");
    default:
        return {};
    }
}

Ipv4Edit* AddressEdit(int id) {
    auto* edit = new Ipv4Edit;
    edit->setObjectName(FieldName(id));
    edit->setEnabled(false);
    return edit;
}

} // namespace

NetworkDialog::NetworkDialog(DeviceJobs& jobs, Prompter& prompter, QWidget* parent)
    : QDialog(parent), jobs(jobs), prompter(prompter) {
    setWindowTitle(Text(text::device_network_title));
    auto* device = new QGroupBox(Text(text::device_network_device));
    auto* deviceForm = new QFormLayout(device);
    deviceForm->addRow(Text(text::device_network_address), AddressEdit(DeviceAddress));
    deviceForm->addRow(Text(text::device_network_netmask), AddressEdit(Netmask));
    deviceForm->addRow(Text(text::device_network_gateway), AddressEdit(Gateway));
    auto* hardware = new QLineEdit;
    hardware->setObjectName(FieldName(HardwareAddress));
    hardware->setReadOnly(true);
    deviceForm->addRow(Text(text::device_network_hardware), hardware);

    auto* controllerBox = new QGroupBox(Text(text::device_network_controller));
    auto* controllerForm = new QFormLayout(controllerBox);
    auto* used = new QCheckBox(Text(text::device_network_use_controller));
    used->setObjectName(FieldName(ControllerUsed));
    Ipv4Edit* controller = AddressEdit(Controller);
    controllerForm->addRow(used, controller);
    connect(used, &QCheckBox::toggled, controller, [controller](bool on) {
        controller->setEnabled(on);
        if (!on)
            controller->SetMarked(false);
    });

    auto* cameras = new QGroupBox(Text(text::device_network_cameras));
    auto* grid = new QGridLayout(cameras);
    grid->addWidget(new QLabel(Text(text::device_network_channel)), 0, 2);
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(new QLabel(Text(text::device_network_camera)
                                       .arg(QChar('A' + i))
                                       .arg(QStringLiteral("cam%1").arg(i + 1))),
                        i + 1, 0);
        grid->addWidget(AddressEdit(CameraAddress0 + i), i + 1, 1);
        auto* channel = new QLineEdit;
        channel->setObjectName(FieldName(CameraChannel0 + i));
        channel->setValidator(new QIntValidator(0, 2147483647, channel));
        channel->setMaximumWidth(80);
        channel->setEnabled(false);
        grid->addWidget(channel, i + 1, 2);
    }
    grid->setColumnStretch(1, 1);

    auto* pass = new QLineEdit;
    pass->setObjectName(FieldName(PassText));
    pass->setMaxLength(99);
    pass->setEnabled(false);
    auto* passForm = new QFormLayout;
    passForm->addRow(Text(text::device_network_pass), pass);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    // OK writes everything and restarts the device: it says so.
    buttons->button(QDialogButtonBox::Ok)->setText(Text(text::device_network_write_restart));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(FieldName(WriteButton));
    connect(buttons, &QDialogButtonBox::accepted, this, &NetworkDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &NetworkDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(device);
    layout->addWidget(controllerBox);
    layout->addWidget(cameras);
    layout->addLayout(passForm);
    layout->addWidget(buttons);
    setMinimumWidth(420);
    // Enter in a field moves on to the next one instead of writing and
    // restarting the device half-way through the form.
    for (QLineEdit* field : findChildren<QLineEdit*>())
        field->installEventFilter(this);
}

bool NetworkDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && qobject_cast<QLineEdit*>(watched)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            focusNextChild();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

NetworkDialog::~NetworkDialog() {
    if (attached)
        jobs.AttachNetwork(nullptr);
}

bool NetworkDialog::Start() {
    attached = true;
    jobs.AttachNetwork(this);
    if (!jobs.Post(ReadNetworkRequest{})) {
        prompter.Error(this, Text(text::network_device_busy));
        reject();
        return false;
    }
    return true;
}

void NetworkDialog::done(int result) {
    // Updates of a read still running go nowhere once the dialog is closed.
    if (attached) {
        jobs.AttachNetwork(nullptr);
        attached = false;
    }
    QDialog::done(result);
}

QWidget* NetworkDialog::Control(int id) const {
    const QString name = FieldName(id);
    return name.isEmpty() ? nullptr : findChild<QWidget*>(name);
}

Ipv4Edit* NetworkDialog::AddressControl(int id) const {
    return qobject_cast<Ipv4Edit*>(Control(id));
}

void NetworkDialog::Show(const NetworkSnapshot& read) {
    SetAddress(DeviceAddress, read.ipAddress);
    SetAddress(Netmask, read.netmask);
    SetAddress(Gateway, read.gateway);
    for (int id : {DeviceAddress, Netmask, Gateway})
        Enable(id, true);
    const bool ifconfigFailed = std::find(read.failedCommands.begin(), read.failedCommands.end(),
                                          "ifconfig eth0") != read.failedCommands.end();
    if (ifconfigFailed)
        SetMissing(HardwareAddress);
    else if (read.hardwareAddress)
        SetText(HardwareAddress, *read.hardwareAddress);
    if (read.controllerUsed) {
        static_cast<QCheckBox*>(Control(ControllerUsed))->setChecked(true);
        Enable(Controller, true);
        SetAddress(Controller, read.controller);
    }
    for (uint32_t i = 0; i < std::min<uint32_t>(read.cameraCount, 4); ++i) {
        const NetworkSnapshot::Camera& camera = read.cameras[i];
        const int row = static_cast<int>(i);
        if (!camera.fetched)
            continue;
        if (camera.address) {
            SetAddress(CameraAddress0 + row, camera.address);
            SetText(CameraChannel0 + row, std::to_string(camera.channel.value_or(1)));
        } else if (camera.missing) {
            SetMissing(CameraAddress0 + row);
        }
        Enable(CameraAddress0 + row, read.camerasEditable);
        Enable(CameraChannel0 + row, read.camerasEditable);
    }
    if (read.passText) {
        SetText(PassText, *read.passText);
        Enable(PassText, read.camerasEditable);
    }
}

void NetworkDialog::SetAddress(int control, const std::optional<uint32_t>& hostOrder) {
    if (!hostOrder)
        SetMissing(control);
    else if (Ipv4Edit* edit = AddressControl(control))
        edit->SetAddress(*hostOrder);
}

void NetworkDialog::SetText(int control, const std::string& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(Control(control)))
        edit->setText(QString::fromStdString(text));
}

void NetworkDialog::SetMissing(int control) {
    if (Ipv4Edit* edit = AddressControl(control)) {
        edit->clear();
        edit->SetMarked(true, Text(text::device_network_missing));
    } else if (auto* edit = qobject_cast<QLineEdit*>(Control(control))) {
        // A text the device could not give (its hardware address): shown
        // as not read rather than empty.
        edit->clear();
        edit->setPlaceholderText(Text(text::device_network_text_not_read));
        edit->setToolTip(Text(text::device_network_text_not_read));
    }
}

void NetworkDialog::Enable(int control, bool enabled) {
    if (QWidget* w = Control(control))
        w->setEnabled(enabled);
}

bool NetworkDialog::Check(WriteNetworkRequest& request) {
    // Settings never read from the device are not written back as zeros.
    if (!Control(DeviceAddress)->isEnabled()) {
        prompter.Error(this, Text(text::device_network_not_read));
        return false;
    }
    auto take = [&](int id, NetworkField field, uint32_t& out) {
        Ipv4Edit* edit = AddressControl(id);
        const auto value = Ipv4Edit::Parse(edit->text());
        unsigned problem = 0;
        if (edit->Marked() && edit->text().isEmpty())
            problem =
                text::device_network_missing; // the device's value was unreadable and nothing was entered
        else if (!value)
            problem = field == NetworkField::Camera && edit->text().isEmpty()
                          ? 0u
                          : unsigned(text::device_refused_incomplete);
        else
            problem = NetworkValueProblem(field, *value);
        if (problem) {
            const QString reason =
                FillText(Text(problem).toStdString(), {edit->text().toStdString()}).c_str();
            edit->SetMarked(true, reason);
            edit->setFocus();
            prompter.Error(this, reason);
            return false;
        }
        edit->SetMarked(false);
        out = value ? *value : 0;
        return true;
    };
    if (!take(DeviceAddress, NetworkField::DeviceAddress, request.ipAddress) ||
        !take(Netmask, NetworkField::Netmask, request.netmask) ||
        !take(Gateway, NetworkField::Gateway, request.gateway))
        return false;
    // The session's own check of the three together (the address must not
    // be the network's or its broadcast address, ...); a gateway outside the
    // network is written only once the user confirms it.
    const NetworkCheck check = ValidateNetworkSettings(request.ipAddress, request.netmask, request.gateway);
    if (check.Refused()) {
        Ipv4Edit* edit = AddressControl(DeviceAddress);
        const QString reason = QString::fromStdString(check.error);
        edit->SetMarked(true, reason);
        edit->setFocus();
        prompter.Error(this, reason);
        return false;
    }
    if (!check.warning.empty() &&
        !prompter.Warning(this, QString::fromStdString(check.warning), Text(text::device_network_title))) {
        AddressControl(Gateway)->setFocus();
        return false;
    }
    request.controllerAddress = 0xFFFFFFFFu;
    if (static_cast<QCheckBox*>(Control(ControllerUsed))->isChecked() &&
        !take(Controller, NetworkField::Controller, request.controllerAddress))
        return false;
    const uint32_t rows = std::min<uint32_t>(jobs.NetworkCameraRows(), 4);
    for (uint32_t i = 0; i < rows; ++i) {
        if (!take(CameraAddress0 + static_cast<int>(i), NetworkField::Camera, request.cameraAddress[i]))
            return false;
        bool ok = false;
        const uint32_t channel =
            static_cast<QLineEdit*>(Control(CameraChannel0 + static_cast<int>(i)))->text().toUInt(&ok, 10);
        request.cameraChannel[i] = ok ? channel : 1;
    }
    request.passText = static_cast<QLineEdit*>(Control(PassText))->text().left(99).toStdString();
    return true;
}

void NetworkDialog::accept() {
    if (jobs.Busy()) {
        prompter.Error(this, Text(text::network_device_busy));
        return;
    }
    WriteNetworkRequest request;
    if (!Check(request))
        return;
    if (!jobs.Post(request)) {
        prompter.Error(this, Text(text::network_device_busy));
        return;
    }
    QDialog::accept();
}

} // namespace korvex
