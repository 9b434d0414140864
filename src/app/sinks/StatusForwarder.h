#pragma once

#include "app/sinks/UiPost.h"
#include "app/widgets/StatusBar.h"
#include "devicelink/DeviceSinks.h"

namespace korvex {

class Prompter;

// The workers' status bar: every call is posted to the status bar attached
// at that moment. An error is shown in a box without an owner window, also
// when no status bar is attached; the worker does not wait for it.
class StatusForwarder : public SinkForwarder<StatusBar>, public StatusSink {
public:
    explicit StatusForwarder(Prompter& prompter) : prompter(prompter) {}

    void ShowProgress(unsigned percent, unsigned textId) override;
    void ShowMessage(unsigned textId) override;
    void ShowText(const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowRestart(RestartStage stage, const std::string& detail) override;

private:
    Prompter& prompter;
};

} // namespace korvex
