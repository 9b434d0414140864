#pragma once

// The arithmetic of the tuning window, free of any toolkit: the cumulative
// curve of a trace, where its bars and the threshold cross-hair fall in a
// view of a given size, what the pointer position reads as, and the trace
// as CSV text. The window only paints what these functions say.

#include "live/LiveProtocol.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace korvex {

// A trace as the tuning view plots it: the level (first sample) and the
// running sums of the samples.
struct TuningCurve {
    uint16_t level = 0;
    std::array<uint32_t, kTraceSamples> cumulative{};
    std::array<uint16_t, kTraceSamples> samples{};

    static TuningCurve FromTrace(const TuningTrace& values);
    // The last running sum; 0 means no trace (the view stays white).
    uint32_t Total() const { return cumulative.back(); }
};

// Where things fall in a view `height` rows high (250 columns before the
// view stretches them to its width). Every product is taken in 64 bits: a
// full trace sums to about 16 million, which times a tall view does not fit
// in 32 bits.
namespace tuning {

// Top row of bin `bin`'s green bar, which runs from row height - 1 up to
// this row; std::nullopt when the trace is empty (total 0).
std::optional<int> BarTop(const TuningCurve& curve, unsigned bin, int height);

// Column (of 250) of the red vertical line for a feature threshold.
int FeatureColumn(int featureThreshold);

// Row of the red horizontal line for a detection threshold; std::nullopt
// when there is no trace to scale it by.
std::optional<int> ThresholdRow(int threshold, uint32_t total, int height);

// The values under the pointer at (x, y) of a width x height view:
// x on a 0-1000 scale, y from 0 at the bottom to `total` at the top. The
// point is clamped to the view first (a drag can leave it).
struct Reading {
    unsigned feature = 0;
    unsigned threshold = 0;
};
std::optional<Reading> ReadAt(int x, int y, int width, int height, uint32_t total);

// The trace as CSV: a header line naming the columns, then one row per
// sample with the camera card, the detector number, the bin, the feature
// threshold the bin starts at, the sample and the running sum.
std::string TraceCsv(const TuningCurve& curve, int camera, int detectorNumber);

} // namespace tuning

// The newest trace, handed over whole between the live thread (Put) and the
// window (Take): the window never sees a trace that is half written.
class TraceMailbox {
public:
    void Put(const TuningTrace& values);
    // The newest trace since the last Take, if any.
    std::optional<TuningCurve> Take();

private:
    std::mutex lock;
    std::optional<TuningTrace> newest;
};

} // namespace korvex
