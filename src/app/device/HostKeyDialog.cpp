#include "app/device/HostKeyDialog.h"

#include "app/common/UiText.h"
#include "framework/TextIds.h"

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
    setWindowTitle(korvex::Text(changed ? text::device_changed_key_title : text::device_new_key_title));
    auto* icon = new QLabel;
    icon->setPixmap(
        style()
            ->standardIcon(changed ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxQuestion)
            .pixmap(40, 40));
    icon->setAlignment(Qt::AlignTop);
    shown =
        FillText(
            korvex::Text(changed ? text::device_changed_key_text : text::device_new_key_text).toStdString(),
            {Where(question).toStdString()})
            .c_str();
    auto* heading = new QLabel(shown);
    heading->setObjectName(QStringLiteral("keyText"));
    heading->setWordWrap(true);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(korvex::Text(text::device_key_type)), 0, 0);
    auto* type = new QLabel(QString::fromStdString(question.keyType));
    type->setObjectName(QStringLiteral("keyType"));
    grid->addWidget(type, 0, 1);
    if (changed) {
        grid->addWidget(new QLabel(korvex::Text(text::device_recorded_key)), 1, 0);
        grid->addWidget(Fingerprint(question.recordedFingerprint, QStringLiteral("recordedFingerprint")), 1,
                        1);
        grid->addWidget(new QLabel(korvex::Text(text::device_offered_key)), 2, 0);
        grid->addWidget(Fingerprint(question.fingerprint, QStringLiteral("offeredFingerprint")), 2, 1);
    } else {
        grid->addWidget(new QLabel(korvex::Text(text::device_key_fingerprint)), 1, 0);
        grid->addWidget(Fingerprint(question.fingerprint, QStringLiteral("offeredFingerprint")), 1, 1);
    }
    grid->setColumnStretch(1, 1);
    auto* advice = new QLabel(changed ? QString() : korvex::Text(text::device_new_key_advice));
    advice->setWordWrap(true);
    advice->setVisible(!changed);

    auto* buttons = new QDialogButtonBox;
    action = buttons->addButton(korvex::Text(changed ? text::device_remove_key : text::device_trust_key),
                                QDialogButtonBox::AcceptRole);
    action->setObjectName(QStringLiteral("keyAction"));
    QPushButton* close =
        changed ? buttons->addButton(korvex::Text(text::device_close), QDialogButtonBox::RejectRole)
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
