#pragma once

#include "live/LiveViewCore.h"
#include "model/LiveOverlay.h"

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace korvex {

// The live page: the pictures of up to eight cameras of one device, two
// per row, or one camera enlarged. The camera slots, their pacing and the
// layout live in a LiveViewCore (owned by the device session); this widget
// paints from the slots, each under its own lock, and forwards its timer,
// double clicks and the frame's zoom commands to it. As the core's
// LiveViewHost it is called on the user-interface thread only (the live
// thread's requests arrive through the live view forwarder).
class LiveView : public QWidget, public LiveViewHost {
    Q_OBJECT
public:
    static constexpr int kTimerPeriod_ms = 25;
    static constexpr QRgb kShadow = 0xFFE6E6E6; // RGB(230, 230, 230)
    // The detector overlay: outlines, name labels, the selected detector,
    // and the background of a camera's note.
    static constexpr QRgb kDetectorColour = 0xFF00E000;
    static constexpr QRgb kLabelBackground = 0xFF006000;
    static constexpr QRgb kSelectedColour = 0xFFFFD000;
    static constexpr QRgb kNoteBackground = 0xFFFFE060;

    explicit LiveView(QWidget* parent = nullptr);
    ~LiveView() override;

    // The core to paint from and to drive; nullptr detaches (no pictures,
    // the timer idles). The core must outlive the attachment.
    void Attach(LiveViewCore* core);
    LiveViewCore* Core() const { return core; }

    // The frame's 40002 / 40003 while the live tab is active.
    void ZoomIn();
    void ZoomOut();

    // Applies a content size the core asked for (UI thread).
    void ApplyContentSize(int width, int height);
    // A repaint the core asked for: done at the next 25-ms tick, so that
    // any number of requests between two ticks cost one paint.
    void RequestPaint() { paintDue = true; }

    // LiveViewHost (user-interface thread). The view paints every cell and
    // its background in full, so erasing or not comes to the same repaint.
    void Invalidate(bool /*erase*/) override { RequestPaint(); }
    void SetContentSize(int width, int height) override { ApplyContentSize(width, height); }

    // Paint statistics: how many paints, and their total and latest time.
    struct PaintStats {
        uint64_t paints = 0;
        uint64_t total_us = 0;
        uint64_t last_us = 0;
    };
    PaintStats Stats() const { return stats; }
    void ResetStats() { stats = {}; }

    // Called for every picture painted, with its camera and pixel buffer,
    // while the slot's lock is held (measurements only; keep it short).
    using PaintObserver = std::function<void(unsigned camera, const uint8_t* pixels)>;
    void SetPaintObserver(PaintObserver observer) { paintObserver = std::move(observer); }

    // The project's detectors drawn over the pictures whose size is the
    // project's camera picture size (`width` x `height`).
    void SetDetectors(LiveOverlayShapes shapes, uint32_t width, uint32_t height);
    void ShowDetectors(bool on);
    bool ShowingDetectors() const { return showDetectors; }
    // A line of text over camera `camera`'s picture ("moved 7 px right"),
    // empty for none.
    void SetCameraNote(unsigned camera, const QString& text);
    QString CameraNote(unsigned camera) const { return camera < kCameraSlots ? notes[camera] : QString(); }
    // The name shown at the top of a camera's picture ("Camera A (cam1)").
    void SetCameraName(unsigned camera, const QString& name);
    QString CameraName(unsigned camera) const { return camera < kCameraSlots ? names[camera] : QString(); }
    // Where camera `camera`'s picture was last painted and its
    // magnification; an empty rectangle when it was not.
    QRect PictureRect(unsigned camera) const { return camera < kCameraSlots ? painted[camera] : QRect(); }
    // The camera whose painted picture holds `point`, -1 if none.
    int CameraAt(const QPoint& point) const;

Q_SIGNALS:
    // The view's size changed; the scroll container fits its bars.
    void ContentSizeChanged();
    // A double click on a drawn detector (index in the project's detectors).
    void DetectorChosen(int index);
    // The context menu for the camera under the pointer (-1 for none).
    void CameraMenuRequested(int camera, const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void OnTimer();

    LiveViewCore* core = nullptr;
    QTimer timer;
    // One off-screen picture per camera, the slot's picture converted for
    // a fast stretch.
    std::array<QImage, kCameraSlots> offscreen;
    // What each off-screen picture was made from: a slot whose picture is
    // the same is not converted again.
    struct Source {
        const uint8_t* pixels = nullptr;
        uint64_t shown_ms = 0;
        uint32_t width = 0, height = 0;
        bool operator==(const Source&) const = default;
    };
    std::array<Source, kCameraSlots> sources{};
    bool paintDue = false;
    PaintStats stats;
    // The detector overlay and the per-camera notes.
    void PaintExtras(QPainter& painter, unsigned camera, const QRect& picture, int k);
    // Whether camera's pictures get the detectors, and drawing their
    // outlines into its off-screen picture.
    bool DetectorsFit(unsigned camera) const;
    void DrawOutlines(unsigned camera);
    LiveOverlayShapes shapes;
    uint32_t shapesWidth = 0, shapesHeight = 0;
    bool showDetectors = false;
    std::array<QString, kCameraSlots> notes;
    std::array<QString, kCameraSlots> names;
    std::array<QRect, kCameraSlots> painted;
    std::array<int, kCameraSlots> paintedScale{};
    // Name labels, drawn once per name and blitted.
    std::map<std::string, QImage> labels;
    std::array<std::vector<const QImage*>, kCameraSlots> labelImages;
    std::array<bool, kCameraSlots> shapesInside{};
    // One camera enlarged: its detectors are drawn when painting.
    bool zoomedLayout = false;
    const QImage& Label(const std::string& name, bool selected);
    PaintObserver paintObserver;
};

} // namespace korvex
