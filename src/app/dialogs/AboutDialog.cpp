#include "app/dialogs/AboutDialog.h"

#include "app/common/Icons.h"
#include "app/common/UiText.h"
#include "framework/TextIds.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace korvex {

namespace {
constexpr int kProgramVersion = 6;
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(Text(text::app_about_title));
    auto* icon = new QLabel;
    icon->setPixmap(ProgramIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);
    version = new QLabel;
    version->setObjectName(QStringLiteral("c1096"));
    // The version line: the resource text (at most 99 characters), a space
    // and the version number.
    version->setText(Text(text::app_about_version).left(99) + QStringLiteral(" %1").arg(kProgramVersion));
    QFont big = version->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    version->setFont(big);
    auto* description = new QLabel(Text(text::app_about_description));
    description->setWordWrap(true);
    description->setMinimumWidth(320);
    auto* link = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>")
                                .arg(Text(text::app_about_link_address).toHtmlEscaped(),
                                     Text(text::app_about_link_text).toHtmlEscaped()));
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    link->setOpenExternalLinks(false);
    connect(link, &QLabel::linkActivated, this,
            [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); });
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

QString AboutDialog::VersionText() const {
    return version->text();
}

} // namespace korvex
