// The live page's site checks on the sample project: its detectors drawn
// over the demo device's pictures, and a camera that has moved.
//
//   korvex_live_site_screenshots <output folder> <sample.kvx>
#include "ShotTools.h"
#include "app/common/Commands.h"
#include "app/demo/DemoDevice.h"
#include "app/editor/MainView.h"
#include "app/frame/LiveSiteLink.h"
#include "app/frame/MainFrame.h"
#include "app/frame/TabView.h"
#include "app/live/LiveView.h"
#include "app/session/DeviceSession.h"
#include "live/LiveViewCore.h"
#include "model/CameraFollow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <random>

using namespace korvex;
using namespace korvex::shots;

namespace {

bool Shoot(const QString& path, const QWidget& frame) {
    Settle();
    return ShootScreen(path, frame.frameGeometry());
}

// Card `card`'s background as its camera would show it after moving by
// (dx, dy), with a dark van in the picture and a little noise.
Bitmap Seen(const RenderState& state, uint32_t card, int dx, int dy, uint32_t seed) {
    const Bitmap bg = CameraPictureOf(state, card);
    Bitmap out(bg.Width(), bg.Height());
    const int w = int(bg.Width()), h = int(bg.Height());
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* s =
                bg.Row(uint32_t(std::clamp(y - dy, 0, h - 1))) + std::clamp(x - dx, 0, w - 1) * 3;
            uint8_t* o = out.Row(uint32_t(y)) + x * 3;
            const bool van = x > 40 + int(seed % 60) && x < 110 + int(seed % 60) && y > 150 && y < 200;
            for (int c = 0; c < 3; ++c)
                o[c] = van ? uint8_t(40 + c * 10)
                           : uint8_t(std::clamp(int(s[c] * 0.85) + int(rng() % 9) - 4, 0, 255));
        }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc < 3) {
        std::fprintf(stderr, "usage: korvex_live_site_screenshots <output folder> <sample.kvx>\n");
        return 2;
    }
    const QString out = StartShots(argv[1]);
    FrameOptions options;
    options.startWorkers = true;
    options.makeDemo = [] { return std::make_unique<DemoDevice>(); };
    MainFrame frame(options);
    frame.move(0, 0);
    frame.Create();
    frame.OpenAtStart(argv[2]);
    frame.StartDemo(false);
    LiveViewCore& live = frame.Devices().LiveCore();
    QElapsedTimer waited;
    waited.start();
    while (live.Layout().cameraCount < 4 && waited.elapsed() < 15000)
        Settle(100);

    // The detectors over the demo device's pictures, one of card A chosen.
    frame.LiveSite().ShowDetectors(true);
    frame.View().ChooseDetector(2);
    Settle(1500);
    bool ok = Shoot(out + QStringLiteral("/live-detectors.png"), frame);

    // A moved camera: the demo device stops, and the cameras show the
    // sample's scenes instead, camera A knocked 7 px right and 3 px down.
    frame.OnCommand(CmdDemoDevice);
    waited.restart();
    while (live.Layout().cameraCount > 0 && waited.elapsed() < 5000)
        Settle(100);
    const RenderState state = frame.View().State();
    waited.restart();
    uint32_t seed = 1;
    LiveView& view = frame.Tabs().Live();
    while (view.CameraNote(0).isEmpty() && waited.elapsed() < 15000) {
        for (uint8_t camera = 0; camera < 4; ++camera) {
            PictureHeader header;
            header.camera = camera;
            header.width = uint16_t(state.width);
            header.height = uint16_t(state.height);
            live.OnFrameHeader(header);
            live.Deliver(camera, Seen(state, camera, camera == 0 ? 7 : 0, camera == 0 ? 3 : 0, ++seed));
        }
        Settle(250);
    }
    frame.LiveSite().Poll();
    ok &= Shoot(out + QStringLiteral("/live-camera-moved.png"), frame);
    frame.StopThreads();
    return ok ? 0 : 1;
}
