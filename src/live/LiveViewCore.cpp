#include "live/LiveViewCore.h"

#include "framework/Trace.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace korvex {

namespace {

uint64_t SteadyMs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

LiveViewCore::LiveViewCore(LiveViewHost& host, Clock clock) : host(host), clock(clock ? std::move(clock) : Clock(SteadyMs)) {}

void LiveViewCore::ResizeSlot(unsigned camera, int width, int height) {
    CameraSlot& slot = slots[camera];
    std::lock_guard<std::mutex> guard(slot.lock);
    if (int(slot.picture.Width()) == width && int(slot.picture.Height()) == height)
        return;
    // Keep the existing bytes, new ones are white.
    Bitmap resized{uint32_t(width), uint32_t(height)};
    const auto& old = slot.picture.Data();
    const size_t keep = std::min(old.size(), resized.Data().size());
    if (keep > 0)
        std::memcpy(resized.Data().data(), old.data(), keep);
    slot.picture = std::move(resized);
}

void LiveViewCore::OnFrameHeader(const PictureHeader& header) {
    if (header.camera >= kCameraSlots || header.width % 4 != 0)
        return;
    const int w = header.width, h = header.height;
    bool changed = false;
    {
        std::lock_guard<std::mutex> guard(layoutLock);
        // A known camera whose picture size changed: the device switched
        // resolution, every known slot takes the new size. The size is
        // compared with what this camera reported last rather than with
        // slot 0, so that a device whose cameras differ in size (a 180-wide
        // one beside 320-wide ones) does not re-lay out the view on every
        // picture.
        if (header.camera < cameraCount && (reportedWidth[header.camera] != w || reportedHeight[header.camera] != h)) {
            cameraWidth = w;
            cameraHeight = h;
            for (unsigned i = 0; i < cameraCount; ++i)
                ResizeSlot(i, w, h);
            reportedWidth[header.camera] = w;
            reportedHeight[header.camera] = h;
            changed = true;
        }
        if (header.camera >= cameraCount) {
            cameraWidth = w;
            cameraHeight = h;
            for (unsigned i = cameraCount; i <= header.camera; ++i) {
                ResizeSlot(i, w, h);
                reportedWidth[i] = w;
                reportedHeight[i] = h;
            }
            cameraCount = header.camera + 1u;
            changed = true;
        }
    }
    if (changed)
        Relayout();
}

void LiveViewCore::Deliver(unsigned camera, Bitmap picture) {
    if (camera >= kCameraSlots)
        return;
    CameraSlot& slot = slots[camera];
    bool shown = false;
    Bitmap old;
    {
        std::lock_guard<std::mutex> guard(slot.lock);
        const uint64_t now = clock();
        if (slot.pending.empty() && now >= slot.lastShown_ms + kInterval_ms) {
            old = std::move(slot.picture);
            slot.picture = std::move(picture);
            slot.lastShown_ms = now;
            shown = true;
        } else {
            slot.pending.push_back(std::move(picture));
            // A device sending faster than the view shows would otherwise
            // put the view ever further behind (at 25 pictures a second
            // against 10 shown, by seconds within a minute).
            if (slot.pending.size() > kMaxPending) {
                old = std::move(slot.pending.front()); // one kept for reuse
                dropped.fetch_add(slot.pending.size() - 1);
                slot.pending.erase(slot.pending.begin(), slot.pending.end() - 1);
            }
        }
    }
    Recycle(std::move(old));
    if (shown)
        host.Invalidate(false);
}

bool LiveViewCore::OnTimer() {
    const uint64_t now = clock();
    bool any = false;
    for (auto& slot : slots) {
        std::lock_guard<std::mutex> guard(slot.lock);
        // lastShown advances from its old value, not to now, which keeps
        // the pictures evenly spaced; the queue is never long enough to
        // need catching up (see Deliver).
        if (!slot.pending.empty() && now >= slot.lastShown_ms + kInterval_ms) {
            slot.lastShown_ms += kInterval_ms;
            Bitmap old = std::move(slot.picture);
            slot.picture = std::move(slot.pending.front());
            slot.pending.pop_front();
            Recycle(std::move(old));
            any = true;
        }
    }
    if (any)
        host.Invalidate(false);
    return any;
}

void LiveViewCore::ResetCameras() {
    {
        std::lock_guard<std::mutex> guard(layoutLock);
        for (unsigned i = 0; i < cameraCount; ++i) {
            std::lock_guard<std::mutex> slotGuard(slots[i].lock);
            slots[i].picture = Bitmap();
        }
        cameraCount = 0;
    }
    Relayout();
    host.Invalidate(true);
    host.Invalidate(false);
}

void LiveViewCore::RequestRepaint() { host.Invalidate(false); }

Bitmap LiveViewCore::NewPicture(uint32_t width, uint32_t height) {
    {
        std::lock_guard<std::mutex> guard(spareLock);
        for (size_t i = spare.size(); i-- > 0;)
            if (spare[i].Width() == width && spare[i].Height() == height) {
                Bitmap picture = std::move(spare[i]);
                spare.erase(spare.begin() + long(i));
                return picture;
            }
    }
    return Bitmap(width, height);
}

void LiveViewCore::Recycle(Bitmap&& picture) {
    if (picture.Empty())
        return;
    std::lock_guard<std::mutex> guard(spareLock);
    if (spare.size() < kMaxSpare)
        spare.push_back(std::move(picture));
}

LiveLayout LiveViewCore::Layout() const {
    LiveLayout l;
    {
        std::lock_guard<std::mutex> guard(layoutLock);
        l.cameraWidth = cameraWidth;
        l.cameraHeight = cameraHeight;
        l.cameraCount = cameraCount;
    }
    l.scale = scale.load();
    l.zoomCamera = zoomCamera.load();
    return l;
}

CellGeometry LiveViewCore::Cell(const LiveLayout& l, unsigned camera) {
    CellGeometry c;
    if (l.zoomCamera != -1) {
        c.x = 1;
        c.y = 1;
        c.magnification = 2 * l.scale;
        return c;
    }
    c.x = camera % 2 == 0 ? 1 : l.scale * l.cameraWidth + 17;
    c.y = int(camera / 2) * (l.scale * l.cameraHeight + 16) + 1;
    c.magnification = l.scale;
    return c;
}

void LiveViewCore::ContentSize(const LiveLayout& l, int& width, int& height) {
    if (l.zoomCamera != -1) {
        width = 2 * l.scale * l.cameraWidth + 16;
        height = 2 * l.scale * l.cameraHeight + 16;
    } else {
        width = 2 * l.scale * l.cameraWidth + 32;
        height = (l.scale * l.cameraHeight + 16) * int((l.cameraCount + 1) / 2);
    }
}

void LiveViewCore::Relayout() {
    int w = 0, h = 0;
    ContentSize(Layout(), w, h);
    host.SetContentSize(w, h);
    host.Invalidate(true);
}

void LiveViewCore::OnDoubleClick(int px, int py) {
    if (zoomCamera.load() == -1) {
        LiveLayout l = Layout();
        int found = -1;
        for (unsigned i = 0; i < l.cameraCount; ++i) {
            CellGeometry c = Cell(l, i);
            if (c.x <= px && px <= c.x + l.scale * l.cameraWidth && c.y <= py && py <= c.y + l.scale * l.cameraHeight) {
                found = int(i);
                break;
            }
        }
        zoomCamera.store(found);
        Trace("%s: zooming camera %d\n", "LiveView::LeftMouseDblClk", found);
    } else {
        zoomCamera.store(-1);
    }
    Relayout();
}

void LiveViewCore::ZoomIn() {
    if (scale.load() < kMaxScale) {
        scale.fetch_add(1);
        Relayout();
    }
}

void LiveViewCore::ZoomOut() {
    if (scale.load() > 1) {
        scale.fetch_sub(1);
        Relayout();
    }
}

size_t LiveViewCore::PendingCount(unsigned camera) const {
    if (camera >= kCameraSlots)
        return 0;
    std::lock_guard<std::mutex> guard(slots[camera].lock);
    return slots[camera].pending.size();
}

uint64_t LiveViewCore::LastShown(unsigned camera) const {
    if (camera >= kCameraSlots)
        return 0;
    std::lock_guard<std::mutex> guard(slots[camera].lock);
    return slots[camera].lastShown_ms;
}

} // namespace korvex
