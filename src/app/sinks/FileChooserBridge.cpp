#include "app/sinks/FileChooserBridge.h"

#include "app/common/Prompter.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace korvex {

namespace {
struct Answer {
    std::mutex lock;
    std::condition_variable ready;
    bool done = false;
    std::optional<std::string> path;
};
} // namespace

std::optional<std::string> FileChooserBridge::ChooseSaveFile(const SaveFileRequest& request) {
    auto answer = std::make_shared<Answer>();
    Prompter* boxes = &prompter;
    UiPost(
        static_cast<SinkForwarder<QWidget>*>(this), [boxes, request, answer](SinkForwarder<QWidget>& self) {
            QString path;
            if (QWidget* window = self.Attached())
                path = boxes->SaveFile(window, QString(), QString::fromStdString(request.filterDescription),
                                       QString::fromStdString(request.pattern),
                                       QString::fromStdString(request.defaultExtension));
            std::lock_guard<std::mutex> guard(answer->lock);
            if (!path.isEmpty())
                answer->path = path.toStdString();
            answer->done = true;
            answer->ready.notify_all();
        });
    std::unique_lock<std::mutex> guard(answer->lock);
    while (!answer->done) {
        if (closing.load(std::memory_order_acquire))
            return std::nullopt;
        answer->ready.wait_for(guard, std::chrono::milliseconds(100));
    }
    return answer->path;
}

} // namespace korvex
