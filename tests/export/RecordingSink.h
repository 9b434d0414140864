#pragma once

#include "export/Export.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace korvex::test {

// Records what an export reports; answers the output question with a fixed
// path (or declines when it is empty). Safe to use from the worker thread.
class RecordingSink : public ExportSink {
public:
    explicit RecordingSink(std::string output = "") : output(std::move(output)) {}

    bool AskOutputPath(const std::string& suggested, std::string& path) override {
        std::lock_guard<std::mutex> g(lock);
        ++questions;
        suggestedName = suggested;
        if (output.empty())
            return false;
        path = output;
        return true;
    }
    void ShowStatus(const std::string& text) override {
        std::lock_guard<std::mutex> g(lock);
        statuses.push_back(text);
    }
    void ShowProgress(unsigned position) override {
        std::lock_guard<std::mutex> g(lock);
        progress.push_back(position);
    }
    void ShowFile(size_t index, size_t, const std::string& path) override {
        {
            std::lock_guard<std::mutex> g(lock);
            filesShown.push_back(path);
            fileIndexes.push_back(index);
        }
        changed.notify_all();
    }
    void ShowError(const std::string& text) override {
        std::lock_guard<std::mutex> g(lock);
        errors.push_back(text);
    }
    void JobEnded() override {
        {
            std::lock_guard<std::mutex> g(lock);
            ++jobsEnded;
        }
        changed.notify_all();
    }

    // Waits (at most `ms`) until `done` holds; returns whether it did.
    template <class F> bool WaitUntil(F done, unsigned ms = 20000) {
        std::unique_lock<std::mutex> g(lock);
        return changed.wait_for(g, std::chrono::milliseconds(ms), [&] { return done(); });
    }

    std::mutex lock;
    std::condition_variable changed;
    std::string output;
    int questions = 0;
    std::string suggestedName;
    std::vector<std::string> statuses;
    std::vector<unsigned> progress;
    std::vector<std::string> filesShown;
    std::vector<size_t> fileIndexes;
    std::vector<std::string> errors;
    int jobsEnded = 0;
};

} // namespace korvex::test
