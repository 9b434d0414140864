#pragma once

#include "live/CameraDriftWatch.h"
#include "model/RenderState.h"

#include <array>

namespace korvex {

// The moved-camera watch as the window runs it: the "Drift" worker over
// the session's live core, told what each camera should see from the
// project's backgrounds. Started after the other workers; stopped before the
// live core goes.
class CameraWatch {
public:
    explicit CameraWatch(const LiveViewCore& core) : worker(core) {}
    ~CameraWatch() { Stop(); }
    CameraWatch(const CameraWatch&) = delete;
    CameraWatch& operator=(const CameraWatch&) = delete;

    void Start();
    void Stop();
    // Each card's background cut to the camera picture becomes its
    // camera's reference.
    void SetProject(const RenderState& state);
    std::array<CameraDriftWatch::Drift, kCameraSlots> Drifts() const { return worker.Drifts(); }
    // One round now (tests and screenshots; the thread does it by itself).
    unsigned CheckDue() { return worker.CheckDue(); }

private:
    CameraDriftWatch worker;
};

} // namespace korvex
