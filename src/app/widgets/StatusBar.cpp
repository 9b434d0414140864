#include "app/widgets/StatusBar.h"

#include "app/common/UiText.h"
#include "framework/TextIds.h"

#include <QLabel>
#include <QProgressBar>
#include <algorithm>

namespace korvex {

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(true);
    text = new QLabel(korvex::Text(text::status_not_connected));
    text->setObjectName(QStringLiteral("statusText"));
    text->setFixedWidth(480);
    text->setContentsMargins(4, 0, 4, 0);
    progress = new QProgressBar;
    progress->setObjectName(QStringLiteral("statusProgress"));
    progress->setRange(0, 100);
    progress->setFixedWidth(160);
    progress->setMaximumHeight(16);
    progress->setTextVisible(false);
    rest = new QWidget;
    rest->setFixedWidth(160);
    addWidget(text);
    addWidget(progress);
    addWidget(rest, 1);
    progress->hide();
}

void StatusBar::ShowProgress(unsigned percent, unsigned textId) {
    progress->setValue(static_cast<int>(std::min(percent, 100u)));
    progress->show();
    if (textId != 0)
        text->setText(korvex::Text(textId));
}

void StatusBar::ShowMessage(unsigned textId) {
    progress->hide();
    text->setText(korvex::Text(textId));
}

void StatusBar::ShowText(const std::string& line) {
    progress->hide();
    text->setText(QString::fromStdString(line));
    // A long text (a reconnection's reason) is cut by the part's width.
    text->setToolTip(text->text());
    Q_EMIT TextShown(text->text());
}

QString StatusBar::Text() const {
    return text->text();
}
bool StatusBar::ProgressVisible() const {
    return !progress->isHidden();
}
int StatusBar::Progress() const {
    return progress->value();
}

} // namespace korvex
