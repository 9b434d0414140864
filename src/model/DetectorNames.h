#pragma once

#include "model/Detector.h"

#include <cstdint>
#include <string>

namespace korvex {

// A camera card as the user names it ("A".."H"; "#9" and on for a card
// beyond the letters), and a detector as the user names it ("A1").
std::string CardName(uint32_t card);
std::string DetectorName(const Detector& detector);

} // namespace korvex
