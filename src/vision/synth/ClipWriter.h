#pragma once

// Writes grey pictures as a video file: ".mp4" as H.264 (the device's
// recordings), ".avi" as MJPG (the device's AVI files).

#include "vision/VisionTypes.h"

#include <memory>
#include <string>

namespace korvex::vision::synth {

class ClipWriter {
public:
    // Throws std::runtime_error when the file cannot be made or libavcodec
    // lacks the encoder.
    ClipWriter(const std::string& path, int width, int height, double fps);
    ~ClipWriter();
    ClipWriter(const ClipWriter&) = delete;
    ClipWriter& operator=(const ClipWriter&) = delete;

    void Write(const GreyPicture& picture);
    // Flushes the encoder and finishes the file.
    void Close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

class RoadClip;
// Renders every picture of `clip` into `path`.
void WriteRoadClip(const RoadClip& clip, const std::string& path);

} // namespace korvex::vision::synth
