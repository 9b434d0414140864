#pragma once

#include <QStatusBar>
#include <string>

class QLabel;
class QProgressBar;

namespace korvex {

// The status bar: a text part ending at 480 pixels, a progress part to 640
// (hidden until used) and the rest. User-interface thread only; workers
// reach it through the frame's StatusForwarder.
class StatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);

    void ShowProgress(unsigned percent, unsigned textId);
    void ShowMessage(unsigned textId);
    void ShowText(const std::string& text);
    // A device restart moved on (the session's RestartStage as a number);
    // the frame follows it on the live page.
    void ShowRestart(int stage, const QString& detail) { Q_EMIT RestartStageChanged(stage, detail); }

    QString Text() const;
    bool ProgressVisible() const;
    int Progress() const;

Q_SIGNALS:
    // Every text shown by ShowText (the device's connect report among them).
    void TextShown(const QString& text);
    void RestartStageChanged(int stage, const QString& detail);

private:
    QLabel* text;
    QProgressBar* progress;
    QWidget* rest;
};

} // namespace korvex
