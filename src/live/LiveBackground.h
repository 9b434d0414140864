#pragma once

#include "image/Bitmap.h"

#include <cstdint>
#include <optional>

namespace korvex {

// A camera's live picture as the new background of its card, for a project
// whose camera pictures are `width` x `height` and whose card backgrounds
// are canvas-sized (`current` is the card's background now). A picture of
// the camera size fills a canvas of the same width, or sits in the middle
// of a wider canvas (a 180-wide picture at columns 30-209 of 240), the
// columns around it kept from the current background. A picture of any
// other size, or none, gives std::nullopt: the card keeps its background
// rather than getting one that does not fit its detectors.
std::optional<Bitmap> LiveBackground(const Bitmap& live, uint32_t width, uint32_t height,
                                     const Bitmap& current);

} // namespace korvex
