#pragma once

// A look into H.264 access units before they reach the decoder: the picture
// size their sequence parameter sets declare. The sender decides what a unit
// holds, and the decoder sizes its memory by what the unit declares, so a
// unit that declares anything but the stream's format is refused unread.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace korvex {

// Coded picture size of a sequence parameter set, in pixels (whole
// macroblocks, before cropping).
struct CodedSize {
    unsigned width = 0;
    unsigned height = 0;
};

// Reads the coded size from a sequence parameter set NAL unit (`nal` starts
// at its header byte; emulation-prevention bytes are still in it). Nothing
// when the unit is not one or ends or breaks off before the size.
std::optional<CodedSize> SequenceSize(const uint8_t* nal, size_t length);

enum class UnitCheck {
    Accept,    // every parameter set declares the expected size (or there is none)
    WrongSize, // a parameter set declares another size
    Malformed, // a parameter set that cannot be read
};

// Checks every sequence parameter set (and subset set) of an Annex B access
// unit against `width` x `height`.
UnitCheck CheckUnitSize(const uint8_t* data, size_t length, unsigned width, unsigned height);

} // namespace korvex
