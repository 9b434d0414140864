#include "app/StatusBar.h"

#include "app/Prompter.h"
#include "app/UiText.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QThread>

namespace korvex {

StatusBar::StatusBar(Prompter& prompter, QWidget* parent) : QStatusBar(parent), prompter(prompter) {
    setSizeGripEnabled(true);
    text = new QLabel(korvex::Text(138));
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

template <typename F> void StatusBar::OnUiThread(F f) {
    if (QThread::currentThread() == thread()) {
        f();
        return;
    }
    QPointer<StatusBar> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, f] {
            if (self)
                f();
        },
        Qt::QueuedConnection);
}

void StatusBar::ShowProgress(unsigned percent, unsigned textId) {
    OnUiThread([this, percent, textId] {
        progress->setValue(static_cast<int>(std::min(percent, 100u)));
        progress->show();
        if (textId != 0)
            text->setText(korvex::Text(textId));
    });
}

void StatusBar::ShowMessage(unsigned textId) {
    OnUiThread([this, textId] {
        progress->hide();
        text->setText(korvex::Text(textId));
    });
}

void StatusBar::ShowText(const std::string& line) {
    OnUiThread([this, line] {
        progress->hide();
        text->setText(QString::fromStdString(line));
    });
}

void StatusBar::ShowError(const std::string& message) {
    // A box without an owner, raised from the user-interface thread; the
    // worker does not wait for it.
    QPointer<StatusBar> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, message] {
            if (self)
                self->prompter.Error(nullptr, QString::fromStdString(message));
        },
        Qt::QueuedConnection);
}

QString StatusBar::Text() const { return text->text(); }
bool StatusBar::ProgressVisible() const { return !progress->isHidden(); }
int StatusBar::Progress() const { return progress->value(); }

} // namespace korvex
