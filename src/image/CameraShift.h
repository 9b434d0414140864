#pragma once

#include "image/Bitmap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

// How far a camera's picture has moved against a reference picture of the
// same scene (the project's background for that camera).
//
// The estimate compares local brightness order (which neighbour is
// brighter, darker or about the same) rather than brightness itself, so a
// brighter or darker day does not move it; it searches a coarse copy of
// both pictures over the whole range first and refines the best few
// candidates at finer copies down to whole pixels. Every pixel's mismatch
// is bounded, so vehicles covering part of the picture only add a floor to
// every candidate instead of pulling the answer their way.
struct ShiftEstimate {
    enum class Verdict {
        Shift,        // dx, dy and confidence hold the answer
        SizeMismatch, // the pictures differ in size (or one is empty)
        Flat,         // too little structure in one of the pictures
        Unmatched,    // no offset fits clearly better than the others
    };
    Verdict verdict = Verdict::SizeMismatch;
    // Positive when the picture's content moved right / down: moving the
    // detectors by (dx, dy) puts them back on what they watched.
    int32_t dx = 0;
    int32_t dy = 0;
    // 0 (a guess) to 1 (the fit stands out clearly from every other).
    double confidence = 0;

    bool Known() const { return verdict == Verdict::Shift; }
    bool Confident() const { return Known() && confidence >= kConfident; }
    // The confidence from which an estimate is acted upon.
    static constexpr double kConfident = 0.5;
};

// The offset of `picture` against `reference`, searched within `range`
// pixels on each axis (whole pixels).
ShiftEstimate EstimateShift(const Bitmap& reference, const Bitmap& picture, int32_t range = 40);

// One answer from several estimates of consecutive pictures: the offset
// most of the confident ones agree on (more than half of `estimates`), or
// Unmatched when they do not agree; the confidence is the lowest among the
// agreeing ones. A single estimate stands for itself.
ShiftEstimate AgreedShift(const std::vector<ShiftEstimate>& estimates);

// "moved 7 px right, 3 px down", "moved 4 px left", "not moved".
std::string DescribeShift(int32_t dx, int32_t dy);

} // namespace korvex
