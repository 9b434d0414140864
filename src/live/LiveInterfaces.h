#pragma once

#include "image/Bitmap.h"
#include "live/LiveProtocol.h"

#include <atomic>
#include <cstdint>

namespace korvex {

// What the live thread hands pictures to. Every call comes from the live
// thread; an implementation that touches a window posts to its own thread.
class LiveSink {
public:
    virtual ~LiveSink() = default;

    // The header of every accepted picture message of a camera below 8,
    // before its picture (if any) is delivered. The width is always a
    // multiple of 4 here: other widths are dropped by the thread.
    virtual void OnFrameHeader(const PictureHeader& header) = 0;

    // A finished picture of `camera` (0-7). The sink owns it from now on.
    virtual void Deliver(unsigned camera, Bitmap picture) = 0;

    // The connection ended: the view shows no camera until pictures return.
    virtual void ResetCameras() = 0;

    // Repaint the view without erasing (after each H.264 unit).
    virtual void RequestRepaint() = 0;

    // A picture of the given size (width a multiple of 4) for the thread to
    // fill completely before delivering it; its pixels are unspecified. A
    // sink that recycles the pictures it no longer shows hands one back
    // here, which spares an allocation and a fill per picture.
    virtual Bitmap NewPicture(uint32_t width, uint32_t height) { return Bitmap(width, height); }
};

// The device address the user picked: IPv4 in network order (first octet in
// the lowest byte), 0 = none. Read by the live thread without a lock.
class TargetAddressSource {
public:
    virtual ~TargetAddressSource() = default;
    virtual uint32_t TargetAddress() const = 0;
    // The live port of that device; 0 = the thread's configured port. A
    // device simulated on this machine may have had to take another one.
    virtual uint16_t TargetPort() const { return 0; }
};

// The live view's flags carried in each reply.
class LiveViewOptions {
public:
    virtual ~LiveViewOptions() = default;
    virtual bool ViewOptionA() const = 0;
    virtual bool ViewOptionB() const = 0;
    // Camera shown enlarged, -1 = none.
    virtual int ZoomCamera() const = 0;
};

// The option-mask dialog's state: while the dialog is closed the mask counts
// as absent.
class OptionMaskSource {
public:
    virtual ~OptionMaskSource() = default;
    virtual bool MaskDialogOpen() const = 0;
    // Bits 0-23: check box 1048 + n sets bit n.
    virtual uint32_t OptionMask() const = 0;
};

// Process-wide option-mask state, written by the dialog on the UI thread and
// read by the live thread.
class OptionMaskState : public OptionMaskSource {
public:
    void Open() { open.store(true); }
    void SetMask(uint32_t bits) { mask.store(bits & 0xFFFFFF); }
    // Control ids of the dialog's 24 check boxes: box kFirstBox + n is bit n.
    static constexpr int kFirstBox = 1048;
    static constexpr int kBoxCount = 24;
    // A command from a box: the mask is rebuilt from all 24 boxes.
    template <typename IsChecked> void RebuildFromBoxes(IsChecked isChecked) {
        uint32_t bits = 0;
        for (int n = 0; n < kBoxCount; ++n)
            if (isChecked(kFirstBox + n))
                bits |= 1u << n;
        SetMask(bits);
    }
    // The dialog has returned: no dialog, mask 0.
    void Close() {
        open.store(false);
        mask.store(0);
    }
    bool MaskDialogOpen() const override { return open.load(); }
    uint32_t OptionMask() const override { return open.load() ? mask.load() : 0; }

private:
    std::atomic<bool> open{false};
    std::atomic<uint32_t> mask{0};
};

// The tuning window as the live thread sees it.
class TuningSource {
public:
    virtual ~TuningSource() = default;
    // False while the camera or the detector selection is -1. When true,
    // returns the selection and the one-shot flag, and clears the flag.
    virtual bool GetTuningRequest(int& camera, int& detector, bool& once) = 0;
    // The current selection, read directly (-1 = none); the one-shot flag is
    // not touched.
    virtual int SelectedCamera() const = 0;
    virtual int SelectedDetector() const = 0;
    // A trace of the selected camera and detector arrived.
    virtual void SetTrace(const TuningTrace& values) = 0;
};

// A thread-safe selection with a one-shot flag; SetTrace is left to the
// owner (the tuning window, the command-line client).
class TuningSelection : public TuningSource {
public:
    void Select(int camera, int detector) {
        selectedCamera.store(camera);
        selectedDetector.store(detector);
    }
    void RequestOnce() { once.store(true); }

    bool GetTuningRequest(int& camera, int& detector, bool& wasOnce) override {
        camera = selectedCamera.load();
        detector = selectedDetector.load();
        if (camera == -1 || detector == -1)
            return false;
        wasOnce = once.exchange(false);
        return true;
    }
    int SelectedCamera() const override { return selectedCamera.load(); }
    int SelectedDetector() const override { return selectedDetector.load(); }

private:
    std::atomic<int> selectedCamera{-1};
    std::atomic<int> selectedDetector{-1};
    std::atomic<bool> once{false};
};

} // namespace korvex
