#pragma once

#include "image/Bitmap.h"
#include "live/LiveInterfaces.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace korvex {

// Per-camera picture hand-over between the live thread and the UI thread.
struct CameraSlot {
    Bitmap picture;
    // Clock value (ms) when the slot last took a picture.
    uint64_t lastShown_ms = 0;
    // Pictures waiting to be shown, oldest first.
    std::deque<Bitmap> pending;
    mutable std::mutex lock;
};

// What the window half of the live view does for the core half. Calls may
// come from the live thread (the GUI posts them to its own thread).
class LiveViewHost {
public:
    virtual ~LiveViewHost() = default;
    // Invalidate the view, with or without erasing the background.
    virtual void Invalidate(bool erase) = 0;
    // New content size for the scroller (the view's size).
    virtual void SetContentSize(int width, int height) = 0;
};

// Where one camera is drawn: top-left corner and magnification.
struct CellGeometry {
    int x = 0;
    int y = 0;
    int magnification = 1;
};

// The layout values, read together.
struct LiveLayout {
    int cameraWidth = 0;
    int cameraHeight = 0;
    unsigned cameraCount = 0;
    int scale = 1;
    int zoomCamera = -1;
};

// The non-window half of the live view: the camera slots with their pacing,
// the layout (camera size and count, magnification, zoomed camera) and the
// view options the replies carry. The window half paints from it and
// forwards its timer, double clicks and zoom commands:
//
//     LiveViewCore core(host);                       // host: the window half
//     LiveThread live(core, target, core, mask, tuning);  // sink and options
//     live.Start();            ... every 25 ms: core.OnTimer();
//     paint: LiveLayout l = core.Layout(); for each camera i shown:
//            CellGeometry c = LiveViewCore::Cell(l, i);
//            core.WithPicture(i, [&](const Bitmap& b) { ...copy b... });
//     live.Stop();             before the core goes away
class LiveViewCore : public LiveSink, public LiveViewOptions {
public:
    using Clock = std::function<uint64_t()>;

    // Display interval: at most one new picture per camera this often.
    static constexpr uint64_t kInterval_ms = 100;
    // A live view shows what happens now: a camera's queue holds at most
    // this many display intervals of pictures. A picture that would make it
    // longer leaves only itself queued (the older ones are dropped and
    // counted), so it is shown within one interval.
    static constexpr size_t kMaxPending = 2;
    static constexpr int kMaxScale = 6;

    // `clock` returns milliseconds; the default is a steady clock.
    explicit LiveViewCore(LiveViewHost& host, Clock clock = {});

    // LiveSink (live thread).
    void OnFrameHeader(const PictureHeader& header) override;
    void Deliver(unsigned camera, Bitmap picture) override;
    void ResetCameras() override;
    void RequestRepaint() override;
    Bitmap NewPicture(uint32_t width, uint32_t height) override;

    // LiveViewOptions (read by the live thread).
    bool ViewOptionA() const override { return viewOptionA.load(); }
    bool ViewOptionB() const override { return viewOptionB.load(); }
    int ZoomCamera() const override { return zoomCamera.load(); }

    // UI thread.
    void ToggleViewOptionA() { viewOptionA.store(!viewOptionA.load()); }
    void ToggleViewOptionB() { viewOptionB.store(!viewOptionB.load()); }
    // Timer 101, every 25 ms: moves due pending pictures into the slots.
    // True when a slot took a picture (the view was invalidated).
    bool OnTimer();
    // Zooms the camera under the point, or back to all cameras.
    void OnDoubleClick(int px, int py);
    void ZoomIn();
    void ZoomOut();
    // Content size for the current layout, and tells the host.
    void Relayout();

    LiveLayout Layout() const;
    static CellGeometry Cell(const LiveLayout& layout, unsigned camera);
    static void ContentSize(const LiveLayout& layout, int& width, int& height);

    // Runs `f(const Bitmap&)` on camera's picture while holding its lock.
    template <typename F> void WithPicture(unsigned camera, F&& f) const {
        if (camera >= kCameraSlots)
            return;
        std::lock_guard<std::mutex> guard(slots[camera].lock);
        f(static_cast<const Bitmap&>(slots[camera].picture));
    }

    // Test and diagnostic access.
    size_t PendingCount(unsigned camera) const;
    uint64_t LastShown(unsigned camera) const;
    uint64_t DroppedCount() const { return dropped.load(); }

private:
    void ResizeSlot(unsigned camera, int width, int height);
    // Keeps a picture that is no longer shown for NewPicture.
    void Recycle(Bitmap&& picture);

    LiveViewHost& host;
    Clock clock;

    std::atomic<bool> viewOptionA{true};
    std::atomic<bool> viewOptionB{true};
    std::atomic<int> zoomCamera{-1};
    std::atomic<int> scale{1};

    // Guards cameraWidth, cameraHeight and cameraCount, which the live
    // thread changes while the UI thread paints. Never held with a slot lock
    // taken first.
    mutable std::mutex layoutLock;
    int cameraWidth = 0;
    int cameraHeight = 0;
    unsigned cameraCount = 0;
    // The size each known camera's headers gave last (under layoutLock).
    int reportedWidth[kCameraSlots] = {};
    int reportedHeight[kCameraSlots] = {};

    CameraSlot slots[kCameraSlots];
    std::atomic<uint64_t> dropped{0};

    // Pictures no longer shown, handed out again by NewPicture. A leaf lock:
    // taken with a slot lock held, never the other way round.
    static constexpr size_t kMaxSpare = 4;
    std::mutex spareLock;
    std::vector<Bitmap> spare;
};

} // namespace korvex
