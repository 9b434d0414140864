#include "app/sinks/StatusForwarder.h"

#include "app/common/Prompter.h"

namespace korvex {

void StatusForwarder::ShowProgress(unsigned percent, unsigned textId) {
    Forward([percent, textId](StatusBar& bar) { bar.ShowProgress(percent, textId); });
}

void StatusForwarder::ShowMessage(unsigned textId) {
    Forward([textId](StatusBar& bar) { bar.ShowMessage(textId); });
}

void StatusForwarder::ShowText(const std::string& text) {
    Forward([text](StatusBar& bar) { bar.ShowText(text); });
}

void StatusForwarder::ShowRestart(RestartStage stage, const std::string& detail) {
    Forward([stage, detail](StatusBar& bar) { bar.ShowRestart(int(stage), QString::fromStdString(detail)); });
}

void StatusForwarder::ShowError(const std::string& text) {
    Prompter* boxes = &prompter;
    UiPost(static_cast<QObject*>(this),
           [boxes, text](QObject&) { boxes->Error(nullptr, QString::fromStdString(text)); });
}

} // namespace korvex
