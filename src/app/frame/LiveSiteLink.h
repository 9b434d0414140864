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
    // false when it has not moved or nothing changed.
    bool FollowCamera(unsigned camera);
    QStringList Warnings() const { return warnings; }

    // The camera the context menu was opened over.
    int MenuCamera() const { return menuCamera; }

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
    int menuCamera = -1;
};

// "moved 7 px right, 3 px down" in the program's language.
QString MovedText(int32_t dx, int32_t dy);

} // namespace korvex
