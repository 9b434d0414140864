#pragma once

#include <QStatusBar>

#include <string>

#ifdef KORVEX_HAVE_DEVICELINK
#include "devicelink/DeviceSinks.h"
#endif

class QLabel;
class QProgressBar;

namespace korvex {

class Prompter;

#ifdef KORVEX_HAVE_DEVICELINK
using StatusSinkBase = StatusSink;
#else
// The status operations the device session uses.
class StatusSinkBase {
public:
    virtual ~StatusSinkBase() = default;
    virtual void ShowProgress(unsigned percent, unsigned textId) = 0;
    virtual void ShowMessage(unsigned textId) = 0;
    virtual void ShowText(const std::string& text) = 0;
    virtual void ShowError(const std::string& text) = 0;
};
#endif

// The status bar: a text part ending at 480 pixels, a progress part to 640
// (hidden until used) and the rest. Its operations may be called from any
// thread; calls from a worker are posted to the user-interface thread.
class StatusBar : public QStatusBar, public StatusSinkBase {
    Q_OBJECT
public:
    StatusBar(Prompter& prompter, QWidget* parent = nullptr);

    void ShowProgress(unsigned percent, unsigned textId) override;
    void ShowMessage(unsigned textId) override;
    void ShowText(const std::string& text) override;
    void ShowError(const std::string& text) override;

    QString Text() const;
    bool ProgressVisible() const;
    int Progress() const;

private:
    template <typename F> void OnUiThread(F f);

    Prompter& prompter;
    QLabel* text;
    QProgressBar* progress;
    QWidget* rest;
};

} // namespace korvex
