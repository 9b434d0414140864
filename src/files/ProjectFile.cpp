#include "files/ProjectFile.h"

#include "composer/Composer.h"
#include "files/Chunk.h"
#include "files/ConfigPackage.h"
#include "files/Problems.h"
#include "framework/AtomicFile.h"
#include "framework/BinaryFile.h"
#include "framework/InputFile.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "image/Placement.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

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
constexpr unsigned PartState = 1301;
constexpr unsigned PartComposer = 1302;
constexpr unsigned PartPackage = 1303;
constexpr unsigned PartEnd = 1304;
constexpr unsigned TextIncomplete = 1305;

bool IsBlackPixel(const uint8_t* p) {
    return p[0] == 0 && p[1] == 0 && p[2] == 0;
}

// Calls `f(x)` for each black pixel x of row pixels [from, to), in order.
// Black pixels are few: a zero byte is looked for first and only the pixel
// it falls in is checked.
template <typename F> void ForEachBlack(const uint8_t* row, uint32_t from, uint32_t to, F f) {
    const size_t end = size_t(to) * 3;
    size_t at = size_t(from) * 3;
    while (at < end) {
        const void* zero = std::memchr(row + at, 0, end - at);
        if (!zero)
            return;
        const uint32_t x = uint32_t(size_t(static_cast<const uint8_t*>(zero) - row) / 3);
        if (IsBlackPixel(row + size_t(x) * 3))
            f(x);
        at = (size_t(x) + 1) * 3;
    }
}

void WriteExclusion(const RenderState& state, const Bitmap& exclusion, std::vector<uint8_t>& out) {
    uint32_t w = std::min(exclusion.Width(), state.CanvasWidth());
    uint32_t h = std::min(exclusion.Height(), state.CanvasHeight());
    if (state.width == 180) {
        // The camera picture only: columns 30..209, rows 0..143.
        const uint32_t left = PictureLeft(180);
        AppendLe32(out, 0);
        for (uint32_t y = 0; y < std::min(h, 144u); ++y)
            ForEachBlack(exclusion.Row(y), left, std::max(left, std::min(w, left + 180)),
                         [&](uint32_t x) { AppendLe16(out, static_cast<uint16_t>((x - left) | y << 8)); });
        return;
    }
    // 320 wide, and 192 or 240 wide whose picture starts at column 0: every
    // canvas pixel, so nothing inside the picture is lost.
    AppendLe32(out, 1);
    for (uint32_t y = 0; y < std::min(h, 256u); ++y)
        ForEachBlack(exclusion.Row(y), 0, w, [&](uint32_t x) {
            AppendLe16(out, static_cast<uint16_t>(x));
            out.push_back(static_cast<uint8_t>(y));
        });
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
            for (uint32_t x = PictureLeft(180); x < PictureLeft(180) + 180; ++x) {
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
        for (uint32_t v :
             {d.divisions, d.pen_width, d.line, uint32_t(d.contrast), d.card, d.number, d.feature_threshold,
              uint32_t(d.directional), d.angle, static_cast<uint32_t>(d.fill)})
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
    if (depth > MaxItemDepth || item.kind >= 20 || item.children.size() != ItemChildCount(item.kind))
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
    if (state.detectors.size() > kMaxDetectors)
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
    // Only a file that reading takes is written.
    if (out.size() > kMaxProjectFileBytes)
        RaiseError(ErrorUnsavable);
    return out;
}

// ---- reading -------------------------------------------------------------

namespace {

// An exclusion record's shape: format 0 (2 bytes per pixel) or 1 (3 bytes
// per pixel) with no byte left over. Checked before any map is made.
bool ExclusionShapeValid(const uint8_t* p, size_t size) {
    if (size < 4)
        return false;
    uint32_t format = ReadLe32(p);
    if (format == 1)
        return (size - 4) % 3 == 0;
    if (format == 0)
        return (size - 4) % 2 == 0;
    return false;
}

// Paints the pixels of a record whose shape has been checked.
void PaintExclusion(const uint8_t* p, size_t size, Bitmap& exclusion) {
    uint32_t format = ReadLe32(p);
    p += 4;
    size -= 4;
    if (format == 1) {
        for (; size >= 3; p += 3, size -= 3) {
            uint32_t x = ReadLe16(p), y = p[2];
            if (x < exclusion.Width() && y < exclusion.Height())
                exclusion.PaintBlack(x, y);
        }
        return;
    }
    const uint32_t left = PictureLeft(180);
    for (; size >= 2; p += 2, size -= 2) {
        uint32_t x = p[0], y = p[1];
        if (x < 180 && y < 144 && x + left < exclusion.Width() && y < exclusion.Height())
            exclusion.PaintBlack(x + left, y);
    }
}

struct Span {
    const uint8_t* data;
    size_t size;
};

// Reads a detector's parameters and checks its exclusion records without
// painting them: the caller makes the map only for a detector that passed,
// so a file of empty or broken detector chunks costs no pictures.
bool ParseDetector(const uint8_t* data, size_t size, Detector& d, std::vector<Span>& exclusions,
                   ReadGaps& gaps) {
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
            if (!ExclusionShapeValid(c.payload, c.size))
                return false;
            exclusions.push_back({c.payload, c.size});
            break;
        default:
            break;
        }
    }
    if (reader.CutShort())
        gaps.Add(PartState);
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
    // The picture goes into a buffer of its own, written a row at a time:
    // not into a copy of the shared white one made first, nor through a
    // checked call per pixel.
    const uint32_t left = colour ? 0 : PictureLeft(180);
    if (picture.Width() < left + w || picture.Height() < h)
        throw std::out_of_range("Bitmap index out of range");
    Bitmap read(picture.Width(), picture.Height());
    for (uint32_t y = 0; y < h; ++y) {
        uint8_t* row = read.Row(y) + size_t(left) * 3;
        if (colour) {
            // Red, green, blue in the file; blue, green, red in a bitmap.
            const uint8_t* q = p + size_t(y) * w * 3;
            for (uint32_t x = 0; x < w; ++x, q += 3, row += 3) {
                row[0] = q[2];
                row[1] = q[1];
                row[2] = q[0];
            }
        } else {
            const uint8_t* q = p + size_t(y) * w;
            for (uint32_t x = 0; x < w; ++x, row += 3)
                row[0] = row[1] = row[2] = q[x];
        }
    }
    picture = std::move(read);
    return true;
}

bool ParseState(const uint8_t* data, size_t size, RenderState& state, ReadGaps& gaps) {
    ChunkReader reader(data, size);
    ChunkReader::Chunk c;
    std::vector<Span> exclusions;
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
            // No state holds more detectors than its cards can number; a file
            // with more is refused before anything is built for it.
            if (state.detectors.size() >= kMaxDetectors)
                return false;
            Detector d;
            exclusions.clear();
            if (!ParseDetector(c.payload, c.size, d, exclusions, gaps))
                return false;
            // A map without erased pixels shares the one white picture.
            d.exclusion = exclusions.empty() ? Bitmap::White(state.CanvasWidth(), state.CanvasHeight())
                                             : Bitmap(state.CanvasWidth(), state.CanvasHeight());
            for (const Span& e : exclusions)
                PaintExclusion(e.data, e.size, d.exclusion);
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
    if (reader.CutShort())
        gaps.Add(PartState);
    return true;
}

bool ParseComposerLists(const uint8_t* data, size_t size, RenderState& state, ReadGaps& gaps) {
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
    if (reader.CutShort())
        gaps.Add(PartComposer);
    return true;
}

unsigned PartOfChunk(uint32_t type) {
    switch (type) {
    case ChunkState:
        return PartState;
    case ChunkComposer:
        return PartComposer;
    case ChunkPackage:
        return PartPackage;
    default:
        return PartEnd;
    }
}

} // namespace

void ReadGaps::Add(unsigned part) {
    if (std::find(parts.begin(), parts.end(), part) == parts.end())
        parts.push_back(part);
}

std::string UnreadPartsText(const ReadGaps& gaps) {
    std::string text;
    for (unsigned part : gaps.parts)
        text += (text.empty() ? "" : ", ") + LoadTextA(part);
    return text;
}

std::string IncompleteFileText(const std::string& path, const ReadGaps& gaps) {
    return FormatText(LoadTextA(TextIncomplete), {path, UnreadPartsText(gaps)});
}

std::optional<RenderState> ParseProject(const uint8_t* data, size_t size, ReadGaps* gapsOut) {
    std::optional<RenderState> state;
    ReadGaps gaps;
    ChunkReader reader(data, size);
    ChunkReader::Chunk c;
    size_t read = 0;
    while (reader.Next(c)) {
        read = size_t(c.payload + c.size - data);
        if (c.type == ChunkState && !state) {
            state.emplace();
            if (!ParseState(c.payload, c.size, *state, gaps))
                return std::nullopt;
        } else if (c.type == ChunkComposer && state) {
            if (!ParseComposerLists(c.payload, c.size, *state, gaps))
                return std::nullopt;
        }
    }
    if (reader.CutShort()) {
        gaps.Add(PartOfChunk(reader.StoppedAtType()));
        gaps.unreadBytes = size - read;
    }
    if (gapsOut)
        *gapsOut = std::move(gaps);
    // A detector's mask is built over its card's picture, and a file may
    // hold detectors on cards it stores no picture for. Such cards get a
    // white one, so that every file that reads can be saved again.
    if (state)
        for (const Detector& d : state->detectors)
            if (d.card >= state->backgrounds.size())
                state->EnsureBackgrounds(d.card + 1);
    return state;
}

ProjectRead ReadProjectFile(const std::string& path) {
    InputFile file(path);
    if (file.Size() > kMaxProjectFileBytes)
        RaiseMessage(FormatText(LoadTextA(text::file_too_large),
                                {path, std::to_string(file.Size()), std::to_string(kMaxProjectFileBytes)}));
    std::vector<uint8_t> bytes(size_t(file.Size()));
    file.Read(bytes.data(), bytes.size());
    ReadGaps gaps;
    std::optional<RenderState> state = ParseProject(bytes.data(), bytes.size(), &gaps);
    if (!state)
        RaiseError(ErrorUnreadable);
    return {std::move(*state), std::move(gaps)};
}

void RequireComplete(const std::string& path, const ReadGaps& gaps) {
    if (!gaps.Complete())
        RaiseMessage(IncompleteFileText(path, gaps));
}

RenderState LoadProject(const std::string& path) {
    ProjectRead read = ReadProjectFile(path);
    RequireComplete(path, read.gaps);
    return std::move(read.state);
}

void SaveProject(Document& document, const std::string& path) {
    // Everything is built before the file is touched, by the one route that
    // every writer of project files takes.
    const std::vector<uint8_t> bytes = ProjectFileBytes(document.Current(), path);
    AtomicFile::WriteAll(path, bytes.data(), bytes.size());
    document.MarkSaved(path);
}

void OpenProject(Document& document, const std::string& path) {
    document.ReplaceWithLoaded(LoadProject(path), path);
}

} // namespace korvex
