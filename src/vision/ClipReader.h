#pragma once

// Reads the pictures of a video file (MP4 or AVI, H.264 or MJPG or any
// other video libavformat and libavcodec know) as grey pictures.

#include "vision/VisionTypes.h"

#include <functional>
#include <stdexcept>
#include <string>

namespace korvex::vision {

// The clip cannot be opened or has no video stream that can be decoded.
struct ClipError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct ClipInfo {
    int width = 0;
    int height = 0;
    double fps = 10; // from the stream; 10 when it does not say
};

// Decodes every picture of `path` in order and hands it to `picture`, which
// returns false to stop early. Returns what the stream says of itself.
// Throws ClipError when the file cannot be read as video; broken units in
// the middle are skipped.
ClipInfo ReadClip(const std::string& path, const std::function<bool(const GreyPicture&)>& picture);

// Silences libavformat's and libavcodec's own messages for the whole
// process (a command-line program whose errors say what went wrong).
void QuietDecoderMessages();

} // namespace korvex::vision
