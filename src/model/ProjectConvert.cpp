#include "model/ProjectConvert.h"

#include "model/PictureCoordinates.h"

#include <algorithm>

namespace korvex {

namespace {

bool IsConstantOne(const ComposerItem& item) {
    return item.kind == ComposerItem::One && item.children.empty();
}

bool Supported(uint32_t width, uint32_t height) {
    return (width == 180 && height == 144) || (width == 320 && height == 240);
}

// Copies the picture area `from` of `source` onto the picture area `to` of
// `target` by nearest neighbour (each target pixel centre is mapped back to
// the source pixel it falls in). Source pixels the bitmap does not have read
// as white; target pixels outside `target` are left out.
void Resample(const Bitmap& source, const PictureArea& from, Bitmap& target, const PictureArea& to) {
    if (to.width <= 0 || to.height <= 0 || from.width <= 0 || from.height <= 0)
        return;
    for (int32_t y = 0; y < to.height && uint32_t(y) < target.Height(); ++y) {
        int64_t sy = (2 * int64_t(y) + 1) * from.height / (2 * int64_t(to.height));
        bool rowInside = uint64_t(sy) < source.Height();
        const uint8_t* in = rowInside ? source.Row(uint32_t(sy)) : nullptr;
        uint8_t* out = target.Row(uint32_t(y));
        for (int32_t x = 0; x < to.width; ++x) {
            int64_t tx = int64_t(x) + to.left;
            if (tx < 0 || uint64_t(tx) >= target.Width())
                continue;
            int64_t sx = (2 * int64_t(x) + 1) * from.width / (2 * int64_t(to.width)) + from.left;
            uint8_t* q = out + size_t(tx) * 3;
            if (in && sx >= 0 && uint64_t(sx) < source.Width()) {
                const uint8_t* p = in + size_t(sx) * 3;
                q[0] = p[0];
                q[1] = p[1];
                q[2] = p[2];
            } else {
                q[0] = q[1] = q[2] = 0xFF;
            }
        }
    }
}

Bitmap ResampledCanvas(const Bitmap& source, const PictureArea& from, const PictureArea& to,
                       uint32_t canvasWidth, uint32_t canvasHeight) {
    Bitmap target(canvasWidth, canvasHeight);
    Resample(source, from, target, to);
    return target;
}

} // namespace

std::vector<uint32_t> OutputsLostAt(const RenderState& state, uint32_t width) {
    std::vector<uint32_t> lost;
    if (width == 320)
        return lost;
    for (size_t i = 8; i < state.composer_y.size(); ++i)
        if (!IsConstantOne(state.composer_y[i]))
            lost.push_back(static_cast<uint32_t>(i + 1));
    return lost;
}

Point ConvertPoint(const RenderState& from, Point canvas, uint32_t width, uint32_t height) {
    PictureArea a = PictureAreaOf(from);
    PictureArea b = PictureAreaOf(width, height);
    Point p = ToPicture(a, canvas);
    Point q{a.width > 0 ? RoundHalfAway(double(p.x) * b.width / a.width) : 0,
            a.height > 0 ? RoundHalfAway(double(p.y) * b.height / a.height) : 0};
    q.x = std::clamp(q.x, 0, std::max(0, b.width - 1));
    q.y = std::clamp(q.y, 0, std::max(0, b.height - 1));
    return ToCanvasPoint(b, q);
}

RenderState ConvertedState(const RenderState& state, uint32_t width, uint32_t height) {
    RenderState out = state;
    out.width = width;
    out.height = height;
    PictureArea from = PictureAreaOf(state);
    PictureArea to = PictureAreaOf(out);
    uint32_t cw = out.CanvasWidth(), ch = out.CanvasHeight();

    for (Detector& d : out.detectors) {
        for (Point& p : d.points)
            p = ConvertPoint(state, p, width, height);
        d.exclusion = ResampledCanvas(d.exclusion, from, to, cw, ch);
    }
    for (Bitmap& background : out.backgrounds) {
        if (background.Empty())
            continue;
        background = ResampledCanvas(background, from, to, cw, ch);
        if (width != 320)
            background.ToGrey();
    }

    size_t rows = width == 320 ? 24 : 8;
    out.composer_y.resize(rows);
    return out;
}

ConvertOutcome ConvertProject(Document& document, uint32_t width, uint32_t height, bool dropOutputs) {
    ConvertOutcome outcome;
    const RenderState& current = document.Current();
    if (!Supported(width, height)) {
        outcome.refusal = ConvertRefusal::UnsupportedSize;
        return outcome;
    }
    if (current.width == width && current.height == height) {
        outcome.refusal = ConvertRefusal::SameSize;
        return outcome;
    }
    outcome.outputsInUse = OutputsLostAt(current, width);
    if (!outcome.outputsInUse.empty() && !dropOutputs) {
        outcome.refusal = ConvertRefusal::OutputsInUse;
        return outcome;
    }
    // A composer selection on an output row the new size does not have goes.
    Selection selected = document.Selected();
    const std::string& sel = selected.composer;
    const size_t rows = width == 320 ? 24 : 8;
    if (sel.size() >= 2 && sel[0] == 'Y' && (sel[1] < '0' || size_t(sel[1] - '0') >= rows))
        selected.composer.clear();
    document.NewRenderState(ConvertedState(current, width, height), std::move(selected));
    outcome.changed = true;
    return outcome;
}

} // namespace korvex
