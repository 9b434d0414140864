#pragma once

// The recordings of a simulator that shows scenes: short H.264 clips of
// the scenes in MP4 files, in the folders and under the names the device
// gives its recordings (camN/<day>/<hour>/<hour>-<minute>-00.mp4).

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace korvex::devsim {

class SceneSet;

// Writes `seconds` of card `card`'s scene from scene time `start_ms` at
// `fps` pictures a second, 320 x 240 colour, as H.264 in an MP4 file at
// `path` (through a temporary file beside it, so a reader never sees half
// a clip). Throws std::runtime_error when it cannot. Returns false, with
// nothing written, when `cancel` becomes true on the way.
bool WriteSceneClip(const std::string& path, const SceneSet& scenes, size_t card, int64_t start_ms,
                    unsigned seconds, unsigned fps, const std::atomic<bool>* cancel = nullptr);

// Fills `usbFolder` (the device's /mnt/usbdrive) with clips of the first
// cards, camera N showing card N - 1, plus a file and folders the
// recordings browser must skip. Clips that exist already are kept. Stops
// between two pictures when `cancel` becomes true.
void WriteSceneRecordings(const std::string& usbFolder, const SceneSet& scenes,
                          const std::atomic<bool>* cancel = nullptr);

// Writes the recordings on a thread of its own, so the device starts at
// once; the clips appear one after the other, each whole.
class RecordingWriter {
public:
    RecordingWriter(std::string usbFolder, std::shared_ptr<const SceneSet> scenes);
    ~RecordingWriter(); // cancels and waits (within one picture)
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;
    bool Done() const { return done; }

private:
    std::shared_ptr<const SceneSet> scenes;
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    std::thread worker;
};

} // namespace korvex::devsim
