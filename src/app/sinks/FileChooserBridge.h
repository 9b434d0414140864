#pragma once

#include "app/sinks/UiPost.h"
#include "devicelink/DeviceSinks.h"

#include <QWidget>
#include <atomic>

namespace korvex {

class Prompter;

// The save-file dialog the program download asks for from the session
// thread. The question is posted to the user-interface thread and asked
// over the window attached at that moment (none attached: the answer is
// "cancelled"). The worker waits for the answer in short steps and gives up
// once Close() was called, so stopping the session never waits on a dialog
// that cannot run any more.
class FileChooserBridge : public SinkForwarder<QWidget>, public FileChooser {
public:
    explicit FileChooserBridge(Prompter& prompter) : prompter(prompter) {}

    std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) override;
    // Ends every wait now and later (the frame is shutting down).
    void Close() { closing.store(true, std::memory_order_release); }

private:
    Prompter& prompter;
    std::atomic<bool> closing{false};
};

} // namespace korvex
