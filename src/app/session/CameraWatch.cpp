#include "app/session/CameraWatch.h"

#include "model/CameraFollow.h"

namespace korvex {

void CameraWatch::Start() {
    if (!worker.Started())
        worker.Start();
}

void CameraWatch::Stop() {
    if (worker.Started())
        worker.Stop();
}

void CameraWatch::SetProject(const RenderState& state) {
    std::array<Bitmap, kCameraSlots> references;
    for (uint32_t card = 0; card < kCameraSlots && card < state.backgrounds.size(); ++card)
        references[card] = CameraPictureOf(state, card);
    worker.SetReferences(references);
}

} // namespace korvex
