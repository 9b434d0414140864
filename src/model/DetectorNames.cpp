#include "model/DetectorNames.h"

namespace korvex {

std::string CardName(uint32_t card) {
    return card < 26 ? std::string(1, char('A' + card)) : "#" + std::to_string(card + 1);
}

std::string DetectorName(const Detector& detector) {
    return CardName(detector.card) + std::to_string(detector.number);
}

} // namespace korvex
