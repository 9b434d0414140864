#include "devsim/DeviceSimulator.h"

#include <cmath>
#include <stdexcept>

namespace korvex::devsim {

namespace {

// Marker: 16 x 16 pixels in rows 8-23, moving 8 pixels right per frame.
bool InMarker(uint32_t x, uint32_t y, uint32_t width, uint32_t frameNumber) {
    if (y < 8 || y >= 24 || width < 16)
        return false;
    uint32_t left = (frameNumber * 8) % (width - 16 + 1);
    return x >= left && x < left + 16;
}

} // namespace

uint8_t PatternGrey(uint32_t x, uint32_t y, uint32_t width, uint32_t height, uint32_t frameNumber) {
    if (InMarker(x, y, width, frameNumber))
        return 235;
    bool right = x >= width / 2;
    bool bottom = y >= height / 2;
    static const uint8_t quadrant[4] = {48, 96, 160, 208};
    return quadrant[(bottom ? 2 : 0) + (right ? 1 : 0)];
}

uint16_t PatternColour(uint32_t x, uint32_t y, uint32_t frameNumber) {
    if (InMarker(x, y, 320, frameNumber))
        return 0x0000;
    bool right = x >= 160;
    bool bottom = y >= 120;
    static const uint16_t quadrant[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
    return quadrant[(bottom ? 2 : 0) + (right ? 1 : 0)];
}

uint16_t BlankRegionX(uint32_t frameNumber) {
    return uint16_t((frameNumber * 20) % 320);
}

std::vector<uint16_t> TuningTraceValues(uint8_t camera, uint8_t detector) {
    std::vector<uint16_t> values(250);
    values[0] = uint16_t(1000 + 10 * camera + detector);
    // A bell of feature values around a bin that differs per camera and
    // detector, so the tuning window shows the S-shaped curve of a real
    // detector rather than a ramp.
    const double centre = 70 + 25 * (camera % 4) + 6 * (detector % 8);
    for (unsigned i = 1; i < values.size(); ++i) {
        const double z = (double(i) - centre) / 22.0;
        values[i] = uint16_t(std::lround(120.0 * std::exp(-z * z)));
    }
    return values;
}

CameraFormat ParseCameraFormat(const std::string& text) {
    if (text == "grey180" || text == "gray180")
        return CameraFormat::Grey180;
    if (text == "grey320" || text == "gray320")
        return CameraFormat::Grey320;
    if (text == "colour320" || text == "color320")
        return CameraFormat::Colour320;
    if (text == "blank")
        return CameraFormat::Blank;
    if (text == "h264")
        return CameraFormat::H264;
    throw std::invalid_argument("unknown camera format '" + text +
                                "' (grey180, grey320, colour320, blank or h264)");
}

const char* CameraFormatName(CameraFormat format) {
    switch (format) {
    case CameraFormat::Grey180:
        return "grey180";
    case CameraFormat::Grey320:
        return "grey320";
    case CameraFormat::Colour320:
        return "colour320";
    case CameraFormat::Blank:
        return "blank";
    case CameraFormat::H264:
        return "h264";
    }
    return "?";
}

} // namespace korvex::devsim
