#include "files/ProjectFile.h"

#include "composer/Composer.h"
#include "files/Chunk.h"
#include "files/ConfigPackage.h"
#include "framework/BinaryFile.h"
#include "framework/LocalException.h"

#include <algorithm>
#include <cstring>

namespace korvex {

namespace {

enum : uint32_t {
    ChunkState = 2,
    ChunkComposer = 7,
    ChunkPackage = 11,
    SubDetector = 1,
    SubBackground = 5,
    SubSize180 = 6,
    SubSize320 = 16,
    DetParams = 3,
    DetExclusion = 4,
    DetThreshold = 10,
    DetTimes = 15,
    SubComposerItem = 8,
};

constexpr uint32_t ErrorUnreadable = 242;
constexpr uint32_t ErrorUnsavable = 1300;

bool IsBlackPixel(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 0; }

void WriteExclusion(const RenderState& state, const Bitmap& exclusion, std::vector<uint8_t>& out) {
    uint32_t w = std::min(exclusion.Width(), state.CanvasWidth());
    uint32_t h = std::min(exclusion.Height(), state.CanvasHeight());
    if (state.width == 180) {
        // The camera picture only: columns 30..209, rows 0..143.
        AppendLe32(out, 0);
        for (uint32_t y = 0; y < std::min(h, 144u); ++y) {
            const uint8_t* row = exclusion.Row(y);
            for (uint32_t x = 30; x < std::min(w, 210u); ++x)
                if (IsBlackPixel(row + size_t(x) * 3))
                    AppendLe16(out, static_cast<uint16_t>((x - 30) | y << 8));
        }
        return;
    }
    // 320 wide, and 192 or 240 wide whose picture starts at column 0: every
    // canvas pixel, so nothing inside the picture is lost.
    AppendLe32(out, 1);
    for (uint32_t y = 0; y < std::min(h, 256u); ++y) {
        const uint8_t* row = exclusion.Row(y);
        for (uint32_t x = 0; x < w; ++x)
            if (IsBlackPixel(row + size_t(x) * 3)) {
                AppendLe16(out, static_cast<uint16_t>(x));
                out.push_back(static_cast<uint8_t>(y));
            }
    }
}

// The background as it shows on the canvas.
Bitmap CanvasPicture(const RenderState& state, const Bitmap& background) {
    uint32_t cw = state.CanvasWidth(), ch = state.CanvasHeight();
    if (background.Width() == cw && background.Height() == ch)
        return background;
    Bitmap canvas(cw, ch);
    uint32_t w = std::min(cw, background.Width()), h = std::min(ch, background.Height());
    for (uint32_t y = 0; y < h; ++y)
        std::memcpy(canvas.Row(y), background.Row(y), size_t(w) * 3);
    return canvas;
}

void WriteBackground(const RenderState& state, const Bitmap& background, std::vector<uint8_t>& out) {
    if (background.Empty()) {
        AppendLe32(out, 0);
        AppendLe32(out, 0);
        AppendLe32(out, 3);
        AppendLe32(out, 1);
        return;
    }
    Bitmap picture = CanvasPicture(state, background);
    if (picture.Width() == 240) {
        AppendLe32(out, 180);
        AppendLe32(out, 144);
        AppendLe32(out, 1);
        AppendLe32(out, 0);
        for (uint32_t y = 0; y < 144; ++y) {
            const uint8_t* row = y < picture.Height() ? picture.Row(y) : nullptr;
            for (uint32_t x = 30; x < 210; ++x) {
                const uint8_t* p = row ? row + size_t(x) * 3 : nullptr;
                out.push_back(p ? static_cast<uint8_t>((p[0] + p[1] + p[2]) / 3) : 255);
            }
        }
        return;
    }
    AppendLe32(out, picture.Width());
    AppendLe32(out, picture.Height());
    AppendLe32(out, 3);
    AppendLe32(out, 1);
    // Rows top to bottom, each pixel R, G, B (the bitmap holds B, G, R).
    size_t at = out.size();
    out.resize(at + picture.Data().size());
    const uint8_t* in = picture.Data().data();
    for (size_t i = 0; i < picture.Data().size(); i += 3) {
        out[at + i] = in[i + 2];
        out[at + i + 1] = in[i + 1];
        out[at + i + 2] = in[i];
    }
}

} // namespace

std::vector<uint8_t> RenderStatePayload(const RenderState& state) {
    std::vector<uint8_t> out;
    out.reserve(16 + state.detectors.size() * 200 +
                state.backgrounds.size() * (28 + size_t(state.CanvasWidth()) * state.CanvasHeight() * 3));
    if (state.width == 320) {
        size_t c = OpenChunk(out, SubSize320);
        AppendLe32(out, state.width);
        AppendLe32(out, state.height);
        CloseChunk(out, c);
    } else {
        size_t c = OpenChunk(out, SubSize180);
        AppendLe32(out, state.width);
        CloseChunk(out, c);
    }
    for (const Detector& d : state.detectors) {
        size_t det = OpenChunk(out, SubDetector);
        size_t c = OpenChunk(out, DetParams);
        for (const Point& p : d.points) {
            AppendLe32(out, static_cast<uint32_t>(p.x));
            AppendLe32(out, static_cast<uint32_t>(p.y));
        }
        for (uint32_t v : {d.divisions, d.pen_width, d.line, uint32_t(d.contrast), d.card, d.number,
                           d.feature_threshold, uint32_t(d.directional), d.angle, static_cast<uint32_t>(d.fill)})
            AppendLe32(out, v);
        CloseChunk(out, c);
        c = OpenChunk(out, DetThreshold);
        AppendLe32(out, d.threshold);
        CloseChunk(out, c);
        c = OpenChunk(out, DetTimes);
        AppendLe32(out, d.delay);
        AppendLe32(out, d.extend);
        CloseChunk(out, c);
        c = OpenChunk(out, DetExclusion);
        WriteExclusion(state, d.exclusion, out);
        CloseChunk(out, c);
        CloseChunk(out, det);
    }
    for (size_t i = 0; i < state.backgrounds.size(); ++i) {
        size_t c = OpenChunk(out, SubBackground);
        AppendLe32(out, static_cast<uint32_t>(i));
        WriteBackground(state, state.backgrounds[i], out);
        CloseChunk(out, c);
    }
    return out;
}

std::vector<uint8_t> ComposerListsPayload(const RenderState& state) {
    std::vector<uint8_t> out;
    auto list = [&](const std::vector<ComposerItem>& items, uint32_t group, uint32_t first) {
        for (size_t i = 0; i < items.size(); ++i) {
            size_t c = OpenChunk(out, SubComposerItem);
            AppendLe32(out, group);
            AppendLe32(out, static_cast<uint32_t>(i) + first);
            WriteItem(items[i], out);
            CloseChunk(out, c);
        }
    };
    list(state.composer_y, RenderState::GroupY, 1);
    list(state.composer_z, RenderState::GroupZ, 1);
    list(state.composer_a, RenderState::GroupA, 0);
    return out;
}

namespace {

bool ItemSavable(const ComposerItem& item, int depth) {
    if (depth > MaxItemDepth || item.kind >= 20 || (item.children.size() != 0 && item.children.size() != 2))
        return false;
    if ((item.kind == ComposerItem::Blur || item.kind == ComposerItem::Blank) &&
        (item.number < 0 || item.number >= 8))
        return false;
    for (const ComposerItem& child : item.children)
        if (!ItemSavable(child, depth + 1))
            return false;
    return true;
}

bool Savable(const RenderState& state) {
    bool size144 = (state.width == 180 || state.width == 192 || state.width == 240) && state.height == 144;
    if (!size144 && !(state.width == 320 && state.height == 240))
        return false;
    for (const Detector& d : state.detectors)
        if (d.line > 1 || d.card >= 8 || d.feature_threshold >= 1000 || d.angle >= 360 || d.fill < 0 ||
            d.fill > 100)
            return false;
    if (state.backgrounds.size() > 8 || state.composer_y.size() > (state.width == 320 ? 24u : 8u) ||
        state.composer_z.size() > 64 || state.composer_a.size() > 8)
        return false;
    for (const auto* list : {&state.composer_y, &state.composer_z, &state.composer_a})
        for (const ComposerItem& item : *list)
            if (!ItemSavable(item, 0))
                return false;
    return true;
}

} // namespace

void CheckSavable(const RenderState& state) {
    if (!Savable(state))
        RaiseError(ErrorUnsavable);
}

std::vector<uint8_t> ProjectFileBytes(const RenderState& state, const std::string& path) {
    CheckSavable(state);
    std::vector<uint8_t> package = BuildConfigPackage(state, path);
    std::vector<uint8_t> out;
    AppendChunk(out, ChunkState, RenderStatePayload(state));
    AppendChunk(out, ChunkComposer, ComposerListsPayload(state));
    AppendChunk(out, ChunkPackage, package);
    return out;
}

// ---- reading -------------------------------------------------------------

namespace {

bool ParseExclusion(const uint8_t* p, size_t size, Bitmap& exclusion) {
    if (size < 4)
        return false;
    uint32_t format = ReadLe32(p);
    p += 4;
    size -= 4;
    if (format == 1) {
        for (; size >= 3; p += 3, size -= 3) {
            uint32_t x = ReadLe16(p), y = p[2];
            if (x < exclusion.Width() && y < exclusion.Height())
                exclusion.PaintBlack(x, y);
        }
        return size == 0;
    }
    if (format == 0) {
        for (; size >= 2; p += 2, size -= 2) {
            uint32_t x = p[0], y = p[1];
            if (x < 180 && y < 144 && x + 30 < exclusion.Width() && y < exclusion.Height())
                exclusion.PaintBlack(x + 30, y);
        }
        return size == 0;
    }
    return false;
}

bool ParseDetector(const uint8_t* data, size_t size, Detector& d) {
    ChunkReader reader(data, size);
    ChunkReader::Chunk c;
    while (reader.Next(c)) {
        switch (c.type) {
        case DetParams: {
            if (c.size < 72)
                return false;
            uint32_t v[18];
            for (int i = 0; i < 18; ++i)
                v[i] = ReadLe32(c.payload + 4 * i);
            for (int i = 0; i < 4; ++i)
                d.points[size_t(i)] = {static_cast<int32_t>(v[2 * i]), static_cast<int32_t>(v[2 * i + 1])};
            if (v[10] > 1 || v[11] > 1 || v[12] >= 8 || v[14] >= 1000 || v[15] > 1 || v[16] >= 360)
                return false;
            int32_t fill = static_cast<int32_t>(v[17]);
            if (fill < 0 || fill > 100)
                return false;
            d.divisions = v[8];
            d.pen_width = v[9];
            d.line = v[10];
            d.contrast = v[11] != 0;
            d.card = v[12];
            d.number = v[13];
            d.feature_threshold = v[14];
            d.directional = v[15] != 0;
            d.angle = v[16];
            d.fill = fill;
            break;
        }
        case DetThreshold:
            if (c.size < 4)
                return false;
            d.threshold = ReadLe32(c.payload);
            break;
        case DetTimes:
            if (c.size < 8)
                return false;
            d.delay = ReadLe32(c.payload);
            d.extend = ReadLe32(c.payload + 4);
            break;
        case DetExclusion:
            if (!ParseExclusion(c.payload, c.size, d.exclusion))
                return false;
            break;
        default:
            break;
        }
    }
    return true;
}

// Returns false on a broken record; a colour record that does not fit the
// picture raises the bitmap range error.
bool ParseBackground(const uint8_t* p, size_t size, Bitmap& picture) {
    if (size < 16)
        return false;
    uint32_t w = ReadLe32(p), h = ReadLe32(p + 4), bpp = ReadLe32(p + 8), format = ReadLe32(p + 12);
    p += 16;
    size -= 16;
    if (w == 0 && h == 0)
        return size == 0;
    bool colour = format == 1 && w == 320 && h == 240 && bpp == 3;
    bool grey = format == 0 && w == 180 && h == 144 && bpp == 1;
    if (!colour && !grey)
        return false;
    size_t need = size_t(w) * h * bpp;
    if (size != need)
        return false;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            if (colour) {
                const uint8_t* q = p + (size_t(y) * w + x) * 3;
                picture.SetPixelColour(x, y, uint32_t(q[0]) | uint32_t(q[1]) << 8 | uint32_t(q[2]) << 16);
            } else {
                uint32_t g = p[size_t(y) * w + x];
                picture.SetPixelColour(x + 30, y, g | g << 8 | g << 16);
            }
        }
    return true;
}

bool ParseState(const uint8_t* data, size_t size, RenderState& state) {
    ChunkReader reader(data, size);
    ChunkReader::Chunk c;
    while (reader.Next(c)) {
        switch (c.type) {
        case SubSize180: {
            if (c.size < 4)
                return false;
            uint32_t w = ReadLe32(c.payload);
            if (w != 180 && w != 192 && w != 240)
                return false;
            state.width = w;
            state.height = 144;
            break;
        }
        case SubSize320:
            if (c.size < 8 || ReadLe32(c.payload) != 320 || ReadLe32(c.payload + 4) != 240)
                return false;
            state.width = 320;
            state.height = 240;
            break;
        case SubDetector: {
            Detector d;
            d.exclusion = Bitmap(state.CanvasWidth(), state.CanvasHeight());
            if (!ParseDetector(c.payload, c.size, d))
                return false;
            state.detectors.push_back(std::move(d));
            break;
        }
        case SubBackground: {
            if (c.size < 4)
                return false;
            uint32_t card = ReadLe32(c.payload);
            if (card >= 8)
                return false;
            if (card >= state.backgrounds.size())
                state.EnsureBackgrounds(card + 1);
            if (!ParseBackground(c.payload + 4, c.size - 4, state.backgrounds[card]))
                return false;
            break;
        }
        default:
            break;
        }
    }
    return true;
}

bool ParseComposerLists(const uint8_t* data, size_t size, RenderState& state) {
    ChunkReader reader(data, size);
    ChunkReader::Chunk c;
    while (reader.Next(c)) {
        if (c.type != SubComposerItem)
            continue;
        if (c.size < 8)
            return false;
        uint32_t group = ReadLe32(c.payload), index = ReadLe32(c.payload + 4);
        ComposerItem* target = nullptr;
        if (group == RenderState::GroupY) {
            uint32_t rows = state.width == 320 ? 24 : 8;
            if (index < 1 || index > rows)
                return false;
            state.composer_y.resize(rows);
            target = &state.composer_y[index - 1];
        } else if (group == RenderState::GroupZ) {
            if (index < 1 || index > 64)
                return false;
            if (state.composer_z.empty())
                state.composer_z.assign(64, ComposerItem(ComposerItem::Empty));
            if (state.composer_z.size() < 64)
                state.composer_z.resize(64, ComposerItem(ComposerItem::Empty));
            target = &state.composer_z[index - 1];
        } else if (group == RenderState::GroupA) {
            if (index > 7)
                return false;
            if (state.composer_a.size() < index + 1)
                state.composer_a.resize(index + 1);
            target = &state.composer_a[index];
        } else {
            return false;
        }
        if (!ReadItem(c.payload + 8, c.size - 8, *target))
            return false;
    }
    return true;
}

} // namespace

std::optional<RenderState> ParseProject(const uint8_t* data, size_t size) {
    std::optional<RenderState> state;
    ChunkReader reader(data, size);
    ChunkReader::Chunk c;
    while (reader.Next(c)) {
        if (c.type == ChunkState && !state) {
            state.emplace();
            if (!ParseState(c.payload, c.size, *state))
                return std::nullopt;
        } else if (c.type == ChunkComposer && state) {
            if (!ParseComposerLists(c.payload, c.size, *state))
                return std::nullopt;
        }
    }
    return state;
}

RenderState LoadProject(const std::string& path) {
    std::vector<uint8_t> bytes = BinaryFile::ReadAll(path);
    std::optional<RenderState> state = ParseProject(bytes.data(), bytes.size());
    if (!state)
        RaiseError(ErrorUnreadable);
    return std::move(*state);
}

void SaveProject(Document& document, const std::string& path) {
    // Everything is built before the file is touched.
    std::vector<uint8_t> stateChunk, composerChunk, packageChunk;
    const RenderState& state = document.Current();
    CheckSavable(state);
    AppendChunk(packageChunk, ChunkPackage, BuildConfigPackage(state, path));
    AppendChunk(stateChunk, ChunkState, RenderStatePayload(state));
    AppendChunk(composerChunk, ChunkComposer, ComposerListsPayload(state));

    AtomicFile file(path);
    file.Write(stateChunk.data(), stateChunk.size());
    file.Write(composerChunk.data(), composerChunk.size());
    file.Write(packageChunk.data(), packageChunk.size());
    file.Commit();
    document.MarkSaved(path);
}

void OpenProject(Document& document, const std::string& path) {
    RenderState state = LoadProject(path);
    document.ReplaceWithLoaded(std::move(state), path);
}

} // namespace korvex
