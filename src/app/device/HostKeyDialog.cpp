#include "app/device/HostKeyDialog.h"

#include "app/common/UiText.h"
#include "app/device/DeviceStrings.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace korvex {

namespace {

QLabel* Fingerprint(const std::string& text, const QString& name) {
    auto* label = new QLabel(QString::fromStdString(text));
    label->setObjectName(name);
    label->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString Where(const HostKeyQuestion& q) {
    return q.port == 22 ? QString::fromStdString(q.host)
                        : QStringLiteral("%1:%2").arg(QString::fromStdString(q.host)).arg(q.port);
}

} // namespace

HostKeyDialog::HostKeyDialog(Kind kind, const HostKeyQuestion& question, QWidget* parent)
    : QDialog(parent), kind(kind), question(question) {
    const bool changed = kind == ChangedKey;
    setWindowTitle(korvex::Text(changed ? kStrChangedKeyTitle : kStrNewKeyTitle));
    auto* icon = new QLabel;
    icon->setPixmap(
        style()
            ->standardIcon(changed ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxQuestion)
            .pixmap(40, 40));
    icon->setAlignment(Qt::AlignTop);
    shown = FillText(korvex::Text(changed ? kStrChangedKeyText : kStrNewKeyText).toStdString(),
                     {Where(question).toStdString()})
                .c_str();
    auto* heading = new QLabel(shown);
    heading->setObjectName(QStringLiteral("keyText"));
    heading->setWordWrap(true);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(korvex::Text(kStrKeyType)), 0, 0);
    auto* type = new QLabel(QString::fromStdString(question.keyType));
    type->setObjectName(QStringLiteral("keyType"));
    grid->addWidget(type, 0, 1);
    if (changed) {
        grid->addWidget(new QLabel(korvex::Text(kStrRecordedKey)), 1, 0);
        grid->addWidget(Fingerprint(question.recordedFingerprint, QStringLiteral("recordedFingerprint")), 1,
                        1);
        grid->addWidget(new QLabel(korvex::Text(kStrOfferedKey)), 2, 0);
        grid->addWidget(Fingerprint(question.fingerprint, QStringLiteral("offeredFingerprint")), 2, 1);
    } else {
        grid->addWidget(new QLabel(korvex::Text(kStrKeyFingerprint)), 1, 0);
        grid->addWidget(Fingerprint(question.fingerprint, QStringLiteral("offeredFingerprint")), 1, 1);
    }
    grid->setColumnStretch(1, 1);
    auto* advice = new QLabel(changed ? QString() : korvex::Text(kStrNewKeyAdvice));
    advice->setWordWrap(true);
    advice->setVisible(!changed);

    auto* buttons = new QDialogButtonBox;
    action = buttons->addButton(korvex::Text(changed ? kStrRemoveKey : kStrTrustKey),
                                QDialogButtonBox::AcceptRole);
    action->setObjectName(QStringLiteral("keyAction"));
    QPushButton* close = changed ? buttons->addButton(korvex::Text(kStrClose), QDialogButtonBox::RejectRole)
                                 : buttons->addButton(QDialogButtonBox::Cancel);
    close->setObjectName(QStringLiteral("keyClose"));
    close->setDefault(true); // Enter never trusts or removes a key
    action->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* text = new QVBoxLayout;
    text->addWidget(heading);
    text->addSpacing(6);
    text->addLayout(grid);
    text->addSpacing(6);
    text->addWidget(advice);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setMinimumWidth(560);
}

QString HostKeyDialog::Text() const {
    return shown;
}

} // namespace korvex
