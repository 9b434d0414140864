#pragma once

// An independent reader of the exported files: libavformat opens them and
// libavcodec decodes every frame.

#include <string>

namespace korvex::test {

struct LibavReport {
    bool opened = false;
    unsigned streams = 0;
    bool mjpeg = false;
    int width = 0;
    int height = 0;
    unsigned packets = 0;
    unsigned decoded = 0;
    unsigned failures = 0; // packets the decoder refused
};

LibavReport ReadWithLibav(const std::string& path);

} // namespace korvex::test
