#pragma once

#include "app/session/CameraWatch.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <array>
#include <memory>

class QAction;
class QMenu;

namespace korvex {

class LiveView;
class LiveViewCore;
class MainView;
class ProblemsView;

// The live page's site checks, wired by the frame: the project's detectors
// drawn over the live pictures (a toggle remembered in the settings; a
// double click on one chooses it in the editor), and the watch for cameras
// that have moved against their backgrounds (a note on the picture, a
// warning in the problems list, and the command that moves the card's
// detectors to follow the camera).
class LiveSiteLink : public QObject {
    Q_OBJECT
public:
    LiveSiteLink(LiveView& live, LiveViewCore& core, MainView& view, ProblemsView& problems, QAction& toggle,
                 QAction& follow, QObject* parent = nullptr);
    ~LiveSiteLink() override;

    // The document (`content`) or only its selection changed: new shapes,
    // and for a new content new references for the watch.
    void ProjectChanged(bool content = true);
    // The watch thread: started with the other workers, stopped before the
    // live core goes.
    void StartWatch();
    void StopWatch();
    CameraWatch& Watch() { return *watch; }

    // Shows or hides the detectors and remembers the choice.
    void ShowDetectors(bool on);
    // Reads the watch now: notes and warnings follow it.
    void Poll();
    // The last movement seen of `camera` when it counts (see
    // CameraDriftWatch::Drift::Moved), else none.
    bool MovedBy(unsigned camera, int32_t& dx, int32_t& dy) const;
    // Moves camera `camera`'s detectors (and background) by its movement;
    // false when it has not moved or nothing changed. `done` gets the line
    // that confirms it ("Detectors of camera A moved 7 px right; ...").
    bool FollowCamera(unsigned camera, QString* done = nullptr);
    // The first camera the check can watch (pictures of its card's size and
    // a background), -1 when there is none yet.
    int WatchableCamera() const;
    QStringList Warnings() const { return warnings; }

    // The camera the context menu was opened over.
    int MenuCamera() const { return menuCamera; }

    // "Camera B sends 180 × 144; card B is drawn for 320 × 240." when a
    // camera's pictures have another size than its card; "" otherwise.
    // `pictureWidth` gets the picture's width (0 before the first).
    QString SizeDiffers(unsigned camera, uint32_t* pictureWidth = nullptr) const;
    // Why "Shift detectors to follow the camera" is greyed for `camera`.
    QString WhyNotFollow(int camera, const QString& differs) const;

private:
    void ShowMenu(int camera, const QPoint& globalPos);

    LiveView& live;
    LiveViewCore& core;
    MainView& view;
    ProblemsView& problems;
    QAction& toggle;
    QAction& follow;
    std::unique_ptr<CameraWatch> watch;
    std::array<CameraDriftWatch::Drift, kCameraSlots> drifts{};
    QStringList warnings;
    QTimer poll;
    QMenu* menu = nullptr;
    QAction* convert = nullptr; // converts the project to the camera's size
    uint32_t convertTo = 0;
    int menuCamera = -1;
};

// "Camera A (cam1)": the card letter, with the device's own number.
QString CameraName(unsigned camera);

// "moved 7 px right, 3 px down" in the program's language.
QString MovedText(int32_t dx, int32_t dy);

} // namespace korvex
