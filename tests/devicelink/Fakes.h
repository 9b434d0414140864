#pragma once

// Recording stand-ins for the user-interface sinks of the device link.

#include "devicelink/DeviceSinks.h"

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace korvex::testing {

struct StatusEvent {
    enum Kind { Progress, Message, Text, Error } kind;
    unsigned percent = 0;
    unsigned textId = 0;
    std::string text;
};

class RecordingStatus : public StatusSink {
public:
    void ShowProgress(unsigned percent, unsigned textId) override {
        Add({StatusEvent::Progress, percent, textId, ""});
    }
    void ShowMessage(unsigned textId) override { Add({StatusEvent::Message, 0, textId, ""}); }
    void ShowText(const std::string& text) override { Add({StatusEvent::Text, 0, 0, text}); }
    void ShowError(const std::string& text) override { Add({StatusEvent::Error, 0, 0, text}); }
    // Kept apart from the status events: the stages of a device restart.
    void ShowRestart(RestartStage stage, const std::string&) override {
        std::lock_guard<std::mutex> guard(lock);
        stages.push_back(stage);
    }
    std::vector<RestartStage> Stages() const {
        std::lock_guard<std::mutex> guard(lock);
        return stages;
    }

    std::vector<StatusEvent> Events() const {
        std::lock_guard<std::mutex> guard(lock);
        return events;
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(lock);
        events.clear();
    }
    std::vector<std::string> Errors() const { return Of(StatusEvent::Error); }
    std::vector<std::string> Texts() const { return Of(StatusEvent::Text); }
    std::vector<unsigned> Messages() const {
        std::vector<unsigned> ids;
        for (const auto& e : Events())
            if (e.kind == StatusEvent::Message)
                ids.push_back(e.textId);
        return ids;
    }
    std::vector<unsigned> Percents() const {
        std::vector<unsigned> values;
        for (const auto& e : Events())
            if (e.kind == StatusEvent::Progress)
                values.push_back(e.percent);
        return values;
    }

private:
    void Add(StatusEvent e) {
        std::lock_guard<std::mutex> guard(lock);
        events.push_back(std::move(e));
    }
    std::vector<std::string> Of(StatusEvent::Kind kind) const {
        std::vector<std::string> texts;
        for (const auto& e : Events())
            if (e.kind == kind)
                texts.push_back(e.text);
        return texts;
    }
    mutable std::mutex lock;
    std::vector<StatusEvent> events;
    std::vector<RestartStage> stages;
};

// Polls `condition` every 10 ms for at most `timeout_ms`.
inline bool WaitFor(const std::function<bool()>& condition, unsigned timeout_ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace korvex::testing
