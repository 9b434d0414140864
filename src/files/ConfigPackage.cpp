#include "files/ConfigPackage.h"

#include "composer/Composer.h"
#include "files/Chunk.h"
#include "image/Placement.h"
#include "raster/DetectorRaster.h"

#include <cstdio>
#include <stdexcept>

namespace korvex {

std::string AliasFromPath(const std::string& path) {
    std::string name = path;
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name = name.substr(0, dot);
    return name;
}

uint32_t PictureOffsetX(const RenderState& state) {
    return PictureLeft(state.width);
}

namespace {

// Appends detector `index`'s mask file (a 1-bit BMP of the picture) to
// `out`: the header, then the packed rows bottom row first.
void AppendMaskBmp(std::vector<uint8_t>& out, const RenderState& state, size_t index) {
    const Detector& detector = state.detectors.at(index);
    if (detector.card >= state.backgrounds.size())
        throw std::out_of_range("Bitmap index out of range");
    uint32_t w = state.width, h = state.height;
    uint32_t rowBytes = (w + 7) / 8;
    uint32_t imageSize = rowBytes * h;
    DetectorMask mask = ComputeDetectorMask(detector, state.CanvasWidth(), state.CanvasHeight());

    AppendLe16(out, 0x4D42);
    AppendLe32(out, imageSize + 54);
    AppendLe32(out, 0);
    AppendLe32(out, 54);
    AppendLe32(out, 40);
    AppendLe32(out, w);
    AppendLe32(out, h);
    AppendLe16(out, 1);
    AppendLe16(out, 1);
    AppendLe32(out, 0);
    AppendLe32(out, imageSize);
    for (int i = 0; i < 4; ++i)
        AppendLe32(out, 0);
    AppendMaskRowsBottomUp(out, mask, PictureOffsetX(state), w, h);
}

} // namespace

std::vector<uint8_t> BuildMaskBmp(const RenderState& state, size_t index) {
    std::vector<uint8_t> out;
    out.reserve(54 + size_t((state.width + 7) / 8) * state.height);
    AppendMaskBmp(out, state, index);
    return out;
}

namespace {

void Line(std::string& out, const char* format, unsigned a) {
    char buffer[100];
    std::snprintf(buffer, sizeof buffer, format, a);
    out += buffer;
}

void Line(std::string& out, const char* format, unsigned a, unsigned b) {
    char buffer[100];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    out += buffer;
}

} // namespace

std::string BuildConfigText(const RenderState& state, const std::string& alias) {
    // The alias comes from a file name, which may hold a line break; the
    // device reads one "key = value" per line, so a control character in it
    // is written as "_" rather than starting a line of its own.
    std::string text = "alias = ";
    for (char c : alias)
        text += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '_' : c;
    text += "\n";
    text += "compose_script = compose.txt\n";
    Line(text, "det_count = %u\n", static_cast<unsigned>(state.detectors.size()));
    unsigned k = 0;
    for (const Detector& d : state.detectors) {
        ++k;
        text += "\n";
        Line(text, "det%u_area = det%u.bmp\n", k, k);
        if (d.card != 0)
            Line(text, "det%u_card = %u\n", k, d.card);
        Line(text, "det%u_number = %u\n", k, d.number);
        if (d.contrast) {
            Line(text, "det%u_contrast = 1\n", k);
            continue;
        }
        Line(text, "det%u_feature_threshold = %u\n", k, d.feature_threshold);
        Line(text, "det%u_threshold = %u\n", k, d.threshold);
        if (d.directional) {
            Line(text, "det%u_directional = 1\n", k);
            if (d.angle != 0)
                Line(text, "det%u_angle = %u\n", k, d.angle);
        } else {
            if (d.delay != 0)
                Line(text, "det%u_delay = %u\n", k, d.delay);
            if (d.extend != 0)
                Line(text, "det%u_extend = %u\n", k, d.extend);
        }
    }
    return text;
}

namespace {

void AppendEntry(std::vector<uint8_t>& out, const std::string& name, const uint8_t* content, size_t size) {
    size_t entry = OpenChunk(out, 12);
    AppendChunk(out, 13, name);
    AppendChunk(out, 14, content, size);
    CloseChunk(out, entry);
}

} // namespace

std::vector<uint8_t> BuildConfigPackage(const RenderState& state, const std::string& path) {
    // The texts first, so that the whole size is known: one allocation
    // instead of growths (and copies) of a package of a few megabytes.
    const std::string config = BuildConfigText(state, AliasFromPath(path));
    const std::string script = ComposeScript(state);
    const size_t maskBytes = 54 + size_t((state.width + 7) / 8) * state.height;
    std::vector<uint8_t> out;
    out.reserve(state.detectors.size() * (maskBytes + 48) + config.size() + script.size() + 128);
    for (size_t i = 0; i < state.detectors.size(); ++i) {
        // The entry as AppendEntry writes it, with the mask written in place.
        const size_t entry = OpenChunk(out, 12);
        AppendChunk(out, 13, "det" + std::to_string(i + 1) + ".bmp");
        const size_t content = OpenChunk(out, 14);
        AppendMaskBmp(out, state, i);
        CloseChunk(out, content);
        CloseChunk(out, entry);
    }
    AppendEntry(out, "config.txt", reinterpret_cast<const uint8_t*>(config.data()), config.size());
    AppendEntry(out, "compose.txt", reinterpret_cast<const uint8_t*>(script.data()), script.size());
    return out;
}

bool ReadPackageEntries(const uint8_t* data, size_t size, std::vector<PackageEntry>& entries) {
    entries.clear();
    ChunkReader reader(data, size);
    ChunkReader::Chunk chunk;
    while (reader.Next(chunk)) {
        if (chunk.type != 12)
            return false;
        ChunkReader inner(chunk.payload, chunk.size);
        ChunkReader::Chunk name, content, extra;
        if (!inner.Next(name) || name.type != 13 || !inner.Next(content) || content.type != 14 ||
            inner.Next(extra) || inner.CutShort())
            return false;
        entries.push_back({std::string(reinterpret_cast<const char*>(name.payload), name.size),
                           std::vector<uint8_t>(content.payload, content.payload + content.size)});
    }
    return !reader.CutShort();
}

} // namespace korvex
