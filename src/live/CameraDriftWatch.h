#pragma once

#include "framework/Thread.h"
#include "image/Bitmap.h"
#include "image/CameraShift.h"
#include "live/LiveViewCore.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace korvex {

// Watches whether the cameras have moved: on a thread of its own ("Drift"),
// at most once a second per camera, it compares the picture a camera shows
// with what the project says it should see, and reports a movement once
// several consecutive pictures agree on it.
//
//     CameraDriftWatch watch(liveCore);
//     watch.SetReferences(pictures);   // UI thread, when backgrounds change
//     watch.Start();                    ... watch.Drifts() (any thread)
//     watch.Stop();                     before the live core goes away
class CameraDriftWatch : public Thread {
public:
    using Clock = std::function<uint64_t()>;
    // Each camera is checked at most this often.
    static constexpr uint64_t kInterval_ms = 1000;
    // How many consecutive checks the answer is agreed over.
    static constexpr size_t kPictures = 3;
    // Smaller movements are not reported.
    static constexpr int32_t kMinShift = 2;

    struct Drift {
        // Agreed over the last kPictures checks; Unmatched until then.
        ShiftEstimate estimate;
        // Checks made since the reference was set.
        unsigned checks = 0;
        // Moved by at least kMinShift with good confidence.
        bool Moved() const {
            return estimate.Confident() &&
                   (std::abs(estimate.dx) >= kMinShift || std::abs(estimate.dy) >= kMinShift);
        }
    };

    // `clock` returns milliseconds; the default is a steady clock.
    explicit CameraDriftWatch(const LiveViewCore& core, Clock clock = {});
    ~CameraDriftWatch() override;

    // What each camera should see (index = camera), pictures of the
    // camera's size; an empty one for a camera not to watch. A camera
    // whose reference changed starts again from no checks.
    void SetReferences(const std::array<Bitmap, kCameraSlots>& references);
    std::array<Drift, kCameraSlots> Drifts() const;

    // One round: estimates each camera that has a reference, a new picture
    // of the reference's size and no check in the last kInterval_ms.
    // Returns how many it checked. The thread runs it five times a second.
    unsigned CheckDue();

protected:
    void Run() override;

private:
    const LiveViewCore& core;
    Clock clock;
    // Guards everything below; never held while estimating or while a
    // camera slot's lock is taken.
    mutable std::mutex lock;
    struct Camera {
        std::shared_ptr<const Bitmap> reference;
        uint64_t generation = 0;
        uint64_t lastCheck_ms = 0;
        uint64_t lastPicture_ms = 0;
        bool checked = false;
        std::deque<ShiftEstimate> recent;
        Drift drift;
    };
    std::array<Camera, kCameraSlots> cameras;
};

} // namespace korvex
