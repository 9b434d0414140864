#include "app/Dialogs.h"

#include "app/AppStrings.h"
#include "app/Icons.h"
#include "app/ProjectIo.h"
#include "app/Prompter.h"
#include "app/UiText.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace korvex {

namespace {
constexpr int kProgramVersion = 6;
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(Text(kStrAboutTitle));
    auto* icon = new QLabel;
    icon->setPixmap(ProgramIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);
    version = new QLabel;
    version->setObjectName(QStringLiteral("c1096"));
    // The version line: the resource text (at most 99 characters), a space
    // and the version number.
    version->setText(Text(kStrAboutVersion).left(99) + QStringLiteral(" %1").arg(kProgramVersion));
    QFont big = version->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    version->setFont(big);
    auto* description = new QLabel(Text(kStrAboutDescription));
    description->setWordWrap(true);
    description->setMinimumWidth(320);
    auto* link = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(Text(kStrAboutLinkAddress).toHtmlEscaped(),
                                                                       Text(kStrAboutLinkText).toHtmlEscaped()));
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    link->setOpenExternalLinks(false);
    connect(link, &QLabel::linkActivated, this, [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* text = new QVBoxLayout;
    text->addWidget(version);
    text->addWidget(description);
    text->addSpacing(6);
    text->addWidget(link);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

QString AboutDialog::VersionText() const { return version->text(); }

ConfigTestDialog::ConfigTestDialog(const RenderState& state, Prompter& prompter, QWidget* parent)
    : QDialog(parent), state(state), prompter(prompter) {
    setWindowTitle(Text(kStrConfigTestTitle));
    auto* label = new QLabel(Text(kStrConfigTestLabel));
    label->setWordWrap(true);
    list = new QListWidget;
    list->setObjectName(QStringLiteral("c1012"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(list, 1);
    layout->addWidget(buttons);
    resize(360, 360);
}

void ConfigTestDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Fill();
}

void ConfigTestDialog::Fill() {
    if (filled)
        return;
    filled = true;
    try {
        for (const std::string& name : ConfigPackageNames(state))
            list->addItem(QString::fromStdString(name));
    } catch (const std::exception& e) {
        prompter.Error(this, QString::fromUtf8(e.what()));
    }
}

QStringList ConfigTestDialog::Names() const {
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

} // namespace korvex
