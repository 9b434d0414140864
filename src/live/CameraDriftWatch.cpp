#include "live/CameraDriftWatch.h"

#include <chrono>
#include <vector>

namespace korvex {

namespace {
uint64_t SteadyMs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
} // namespace

CameraDriftWatch::CameraDriftWatch(const LiveViewCore& core, Clock clock)
    : Thread("Drift"), core(core), clock(clock ? std::move(clock) : Clock(SteadyMs)) {}

CameraDriftWatch::~CameraDriftWatch() {
    if (Started())
        Stop();
}

void CameraDriftWatch::SetReferences(const std::array<Bitmap, kCameraSlots>& references) {
    std::lock_guard<std::mutex> guard(lock);
    for (size_t i = 0; i < kCameraSlots; ++i) {
        Camera& c = cameras[i];
        const bool same = c.reference ? *c.reference == references[i] : references[i].Empty();
        if (same)
            continue;
        c.reference = references[i].Empty() ? nullptr : std::make_shared<const Bitmap>(references[i]);
        c.generation++;
        c.checked = false;
        c.recent.clear();
        c.drift = {};
    }
}

std::array<CameraDriftWatch::Drift, kCameraSlots> CameraDriftWatch::Drifts() const {
    std::array<Drift, kCameraSlots> out;
    std::lock_guard<std::mutex> guard(lock);
    for (size_t i = 0; i < kCameraSlots; ++i)
        out[i] = cameras[i].drift;
    return out;
}

unsigned CameraDriftWatch::CheckDue() {
    unsigned checked = 0;
    for (unsigned i = 0; i < kCameraSlots; ++i) {
        const uint64_t now = clock();
        std::shared_ptr<const Bitmap> reference;
        uint64_t generation = 0;
        {
            std::lock_guard<std::mutex> guard(lock);
            const Camera& c = cameras[i];
            if (!c.reference || (c.checked && now - c.lastCheck_ms < kInterval_ms))
                continue;
            reference = c.reference;
            generation = c.generation;
        }
        // A copy of the picture under its slot's lock, only when it is new
        // since the last check and of the reference's size.
        const uint64_t shown = core.LastShown(i);
        Bitmap picture;
        core.WithPicture(i, [&](const Bitmap& p) {
            if (p.Width() == reference->Width() && p.Height() == reference->Height())
                picture = p;
        });
        if (picture.Empty())
            continue;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (cameras[i].checked && cameras[i].lastPicture_ms == shown)
                continue;
        }
        const ShiftEstimate estimate = EstimateShift(*reference, picture);
        ++checked;
        std::lock_guard<std::mutex> guard(lock);
        Camera& c = cameras[i];
        if (c.generation != generation)
            continue; // the reference changed meanwhile
        c.checked = true;
        c.lastCheck_ms = now;
        c.lastPicture_ms = shown;
        c.recent.push_back(estimate);
        if (c.recent.size() > kPictures)
            c.recent.pop_front();
        c.drift.checks++;
        if (c.recent.size() == kPictures)
            c.drift.estimate = AgreedShift(std::vector<ShiftEstimate>(c.recent.begin(), c.recent.end()));
    }
    return checked;
}

void CameraDriftWatch::Run() {
    while (!SleepOrStop(200))
        CheckDue();
}

} // namespace korvex
