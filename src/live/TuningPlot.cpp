#include "live/TuningPlot.h"

#include <algorithm>
#include <cstdio>

namespace korvex {

TuningCurve TuningCurve::FromTrace(const TuningTrace& values) {
    TuningCurve c;
    c.samples = values;
    c.level = values[0];
    uint32_t sum = 0;
    for (size_t k = 0; k < values.size(); ++k) {
        sum += values[k];
        c.cumulative[k] = sum;
    }
    return c;
}

namespace tuning {

std::optional<int> BarTop(const TuningCurve& curve, unsigned bin, int height) {
    const uint32_t total = curve.Total();
    if (total == 0 || bin >= kTraceSamples || height <= 0)
        return std::nullopt;
    return int(int64_t(height) - int64_t(height) * curve.cumulative[bin] / total - 1);
}

int FeatureColumn(int featureThreshold) {
    return featureThreshold / 4;
}

std::optional<int> ThresholdRow(int threshold, uint32_t total, int height) {
    if (total == 0)
        return std::nullopt;
    return int(int64_t(height) - int64_t(height) * threshold / int64_t(total));
}

std::optional<Reading> ReadAt(int x, int y, int width, int height, uint32_t total) {
    if (total == 0 || width <= 0 || height <= 0)
        return std::nullopt;
    x = std::clamp(x, 0, width);
    y = std::clamp(y, 0, height);
    Reading r;
    r.feature = unsigned(int64_t(x) * 1000 / width);
    r.threshold = unsigned(int64_t(height - y) * total / height);
    return r;
}

std::string TraceCsv(const TuningCurve& curve, int camera, int detectorNumber) {
    std::string out;
    char line[96];
    out += "camera,detector,bin,feature_threshold,sample,cumulative\n";
    for (unsigned i = 0; i < kTraceSamples; ++i) {
        std::snprintf(line, sizeof line, "%d,%d,%u,%u,%u,%u\n", camera, detectorNumber, i, i * 4,
                      unsigned(curve.samples[i]), unsigned(curve.cumulative[i]));
        out += line;
    }
    return out;
}

} // namespace tuning

void TraceMailbox::Put(const TuningTrace& values) {
    std::lock_guard<std::mutex> guard(lock);
    newest = values;
}

std::optional<TuningCurve> TraceMailbox::Take() {
    std::optional<TuningTrace> taken;
    {
        std::lock_guard<std::mutex> guard(lock);
        taken.swap(newest);
    }
    if (!taken)
        return std::nullopt;
    return TuningCurve::FromTrace(*taken);
}

} // namespace korvex
