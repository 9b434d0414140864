#include "files/ProjectDiff.h"

#include "composer/Formula.h"
#include "files/Problems.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "model/PictureCoordinates.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace korvex {

namespace {

// How far apart two versions of a detector may sit and still count as the
// same detector renumbered (canvas pixels between their centres).
constexpr int64_t kSameDetectorReach = 48;

std::string T(unsigned id, const std::vector<std::string>& args = {}) {
    return FormatText(LoadTextA(id), args);
}

size_t Corners(const Detector& d) {
    return d.IsLine() ? 2 : 4;
}

std::string Signed(int64_t v) {
    return (v >= 0 ? "+" : "-") + std::to_string(std::llabs(v));
}

std::string Offset(int64_t dx, int64_t dy) {
    return "(" + Signed(dx) + ", " + Signed(dy) + ")";
}

// The corners in picture pixels, as the inspector lists them.
std::string PointsText(const PictureArea& area, const Detector& d) {
    std::string text;
    for (size_t k = 0; k < Corners(d); ++k) {
        const Point p = ToPicture(area, d.points[k]);
        text += (k ? " " : "") + std::string("(") + std::to_string(p.x) + ", " + std::to_string(p.y) + ")";
    }
    return text;
}

std::string SizeText(uint32_t w, uint32_t h) {
    return std::to_string(w) + " × " + std::to_string(h);
}

// Twice the centre of the detector's corners, so it stays whole.
Point Centre2(const Detector& d) {
    int64_t x = 0, y = 0;
    for (size_t k = 0; k < Corners(d); ++k)
        x += d.points[k].x, y += d.points[k].y;
    const int64_t n = int64_t(Corners(d));
    return {int32_t(2 * x / n), int32_t(2 * y / n)};
}

// Index pairs: for each detector of `after`, its detector in `before` or -1.
std::vector<int32_t> PairDetectors(const std::vector<Detector>& a, const std::vector<Detector>& b) {
    std::vector<int32_t> pair(b.size(), -1);
    std::vector<bool> used(a.size(), false);
    auto match = [&](auto same) {
        for (size_t j = 0; j < b.size(); ++j)
            for (size_t i = 0; i < a.size() && pair[j] < 0; ++i)
                if (!used[i] && same(a[i], b[j]))
                    pair[j] = int32_t(i), used[i] = true;
    };
    match([](const Detector& x, const Detector& y) { return x.card == y.card && x.number == y.number; });
    match([](const Detector& x, const Detector& y) { return x.card == y.card && x.points == y.points; });
    for (size_t j = 0; j < b.size(); ++j) {
        int64_t best = std::numeric_limits<int64_t>::max();
        for (size_t i = 0; i < a.size() && pair[j] < 0; ++i) {
            if (used[i] || a[i].card != b[j].card)
                continue;
            const Point p = Centre2(a[i]), q = Centre2(b[j]);
            const int64_t dx = p.x - q.x, dy = p.y - q.y, d2 = dx * dx + dy * dy;
            if (d2 <= 4 * kSameDetectorReach * kSameDetectorReach && d2 < best)
                best = d2;
        }
        for (size_t i = 0; i < a.size() && pair[j] < 0 && best != std::numeric_limits<int64_t>::max(); ++i) {
            const Point p = Centre2(a[i]), q = Centre2(b[j]);
            const int64_t dx = p.x - q.x, dy = p.y - q.y;
            if (!used[i] && a[i].card == b[j].card && dx * dx + dy * dy == best)
                pair[j] = int32_t(i), used[i] = true;
        }
    }
    return pair;
}

class Differ {
public:
    std::vector<ProjectChange> changes;
    PictureArea areaBefore, areaAfter;

    void Add(ProjectChange change) { changes.push_back(std::move(change)); }

    ProjectChange About(ProjectChange::Kind kind, const Detector& d, int32_t index, int32_t indexBefore) {
        ProjectChange c;
        c.kind = kind;
        c.subject = DetectorName(d);
        c.detector = index;
        c.detectorBefore = indexBefore;
        c.card = int32_t(d.card);
        return c;
    }

    void Corners(const Detector& a, const Detector& b, int32_t j, int32_t i) {
        const size_t n = std::max(korvex::Corners(a), korvex::Corners(b));
        std::string moved;
        bool same = true;
        // Picture pixels, and corners numbered from 1, as the inspector has them.
        auto delta = [&](size_t k, bool y) {
            const Point p = ToPicture(areaBefore, a.points[k]), q = ToPicture(areaAfter, b.points[k]);
            return y ? int64_t(q.y) - p.y : int64_t(q.x) - p.x;
        };
        const int64_t dx0 = delta(0, false), dy0 = delta(0, true);
        for (size_t k = 0; k < n; ++k) {
            const int64_t dx = delta(k, false), dy = delta(k, true);
            same = same && dx == dx0 && dy == dy0;
            if (dx || dy)
                moved += (moved.empty() ? "" : ", ") + T(text::diff_corner, {std::to_string(k + 1)}) + " " +
                         Offset(dx, dy);
        }
        if (moved.empty())
            return;
        ProjectChange c = About(ProjectChange::Kind::DetectorMoved, b, j, i);
        c.field = "corners";
        c.before = PointsText(areaBefore, a);
        c.after = PointsText(areaAfter, b);
        c.text = same ? T(text::diff_moved, {c.subject, Offset(dx0, dy0)})
                      : T(text::diff_corners_moved, {c.subject, moved});
        Add(std::move(c));
    }

    void Property(const Detector& b, int32_t j, int32_t i, const char* field, unsigned nameId,
                  std::string before, std::string after) {
        if (before == after)
            return;
        ProjectChange c = About(ProjectChange::Kind::DetectorProperty, b, j, i);
        c.field = field;
        c.text = T(text::diff_property, {c.subject, T(nameId), before, after});
        c.before = std::move(before);
        c.after = std::move(after);
        Add(std::move(c));
    }

    void Properties(const Detector& a, const Detector& b, int32_t j, int32_t i) {
        auto yes = [](bool v) { return T(v ? text::diff_yes : text::diff_no); };
        auto shape = [](const Detector& d) {
            return T(d.IsLine() ? text::diff_line : text::diff_quadrilateral);
        };
        auto num = [](auto v) { return std::to_string(v); };
        Property(b, j, i, "shape", text::diff_shape, shape(a), shape(b));
        Property(b, j, i, "delay", text::diff_delay, SecondsText(a.delay), SecondsText(b.delay));
        Property(b, j, i, "extend", text::diff_extend, SecondsText(a.extend), SecondsText(b.extend));
        Property(b, j, i, "directional", text::diff_directional, yes(a.directional), yes(b.directional));
        Property(b, j, i, "angle", text::diff_angle, T(text::diff_degrees, {num(a.angle)}),
                 T(text::diff_degrees, {num(b.angle)}));
        Property(b, j, i, "contrast", text::diff_contrast, yes(a.contrast), yes(b.contrast));
        Property(b, j, i, "feature_threshold", text::diff_feature_threshold, num(a.feature_threshold),
                 num(b.feature_threshold));
        Property(b, j, i, "threshold", text::diff_threshold, num(a.threshold), num(b.threshold));
        Property(b, j, i, "pen_width", text::diff_pen_width, num(a.pen_width), num(b.pen_width));
        Property(b, j, i, "fill", text::diff_fill, num(a.fill) + "%", num(b.fill) + "%");
        Property(b, j, i, "divisions", text::diff_divisions, num(a.divisions), num(b.divisions));
    }

    void Exclusion(const Detector& a, const Detector& b, int32_t j, int32_t i) {
        // Canvas pixels erased in one version and not in the other; a map of
        // another size (a converted project) counts as white beyond its edge.
        auto black = [](const Bitmap& map, uint32_t x, uint32_t y) {
            return x < map.Width() && y < map.Height() && map.IsBlack(x, y);
        };
        if (a.exclusion == b.exclusion) // one shared buffer, or equal bytes
            return;
        uint64_t pixels = 0;
        const uint32_t w = std::max(a.exclusion.Width(), b.exclusion.Width());
        const uint32_t h = std::max(a.exclusion.Height(), b.exclusion.Height());
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                pixels += black(a.exclusion, x, y) != black(b.exclusion, x, y);
        if (pixels == 0)
            return;
        ProjectChange c = About(ProjectChange::Kind::ExclusionChanged, b, j, i);
        c.field = "exclusion";
        c.pixels = pixels;
        c.text = T(text::diff_exclusion, {c.subject, std::to_string(pixels)});
        Add(std::move(c));
    }

    void Detectors(const RenderState& a, const RenderState& b) {
        const std::vector<int32_t> pair = PairDetectors(a.detectors, b.detectors);
        std::vector<bool> kept(a.detectors.size(), false);
        for (size_t j = 0; j < b.detectors.size(); ++j) {
            const Detector& now = b.detectors[j];
            if (pair[j] < 0) {
                ProjectChange c = About(ProjectChange::Kind::DetectorAdded, now, int32_t(j), -1);
                c.after = PointsText(areaAfter, now);
                c.text = T(text::diff_added,
                           {c.subject,
                            T(now.IsLine() ? text::diff_line : text::diff_quadrilateral) + " " + c.after});
                Add(std::move(c));
                continue;
            }
            const int32_t i = pair[j];
            kept[size_t(i)] = true;
            const Detector& was = a.detectors[size_t(i)];
            if (DetectorName(was) != DetectorName(now)) {
                ProjectChange c = About(ProjectChange::Kind::DetectorRenumbered, now, int32_t(j), i);
                c.field = "number";
                c.before = DetectorName(was);
                c.after = DetectorName(now);
                c.text = T(text::diff_renumbered, {c.before, c.after});
                Add(std::move(c));
            }
            Corners(was, now, int32_t(j), i);
            Properties(was, now, int32_t(j), i);
            Exclusion(was, now, int32_t(j), i);
        }
        for (size_t i = 0; i < a.detectors.size(); ++i)
            if (!kept[i]) {
                ProjectChange c = About(ProjectChange::Kind::DetectorRemoved, a.detectors[i], -1, int32_t(i));
                c.before = PointsText(areaBefore, a.detectors[i]);
                c.text = T(text::diff_removed, {c.subject});
                Add(std::move(c));
            }
    }

    void Backgrounds(const RenderState& a, const RenderState& b) {
        for (size_t k = 0; k < std::max(a.backgrounds.size(), b.backgrounds.size()); ++k) {
            ProjectChange c;
            c.kind = ProjectChange::Kind::BackgroundChanged;
            c.subject = CardName(uint32_t(k));
            c.card = int32_t(k);
            c.field = "background";
            if (k >= a.backgrounds.size() || k >= b.backgrounds.size()) {
                c.text =
                    T(k >= a.backgrounds.size() ? text::diff_background_added : text::diff_background_removed,
                      {c.subject});
                Add(std::move(c));
                continue;
            }
            const Bitmap &x = a.backgrounds[k], &y = b.backgrounds[k];
            if (x.Width() != y.Width() || x.Height() != y.Height()) {
                c.before = SizeText(x.Width(), x.Height());
                c.after = SizeText(y.Width(), y.Height());
                c.pixels = uint64_t(y.Width()) * y.Height();
                c.text = T(text::diff_background_size, {c.subject, c.before, c.after});
                Add(std::move(c));
                continue;
            }
            if (x == y)
                continue;
            for (size_t p = 0; p + 2 < x.Data().size(); p += 3)
                c.pixels += x.Data()[p] != y.Data()[p] || x.Data()[p + 1] != y.Data()[p + 1] ||
                            x.Data()[p + 2] != y.Data()[p + 2];
            if (c.pixels) {
                c.text = T(text::diff_background, {c.subject, std::to_string(c.pixels)});
                Add(std::move(c));
            }
        }
    }

    void Rows(char list, const std::vector<ComposerItem>& a, const std::vector<ComposerItem>& b) {
        for (size_t k = 0; k < std::max(a.size(), b.size()); ++k) {
            const std::string was = k < a.size() ? TypedFormula(a[k]) : "";
            const std::string now = k < b.size() ? TypedFormula(b[k]) : "";
            if (was == now)
                continue;
            ProjectChange c;
            c.kind = ProjectChange::Kind::OutputChanged;
            c.subject = ComposerRow{list, k}.Name();
            c.field = "formula";
            c.before = was;
            c.after = now;
            c.text = T(text::diff_formula, {c.subject, was.empty() ? T(text::diff_empty_formula) : was,
                                            now.empty() ? T(text::diff_empty_formula) : now});
            Add(std::move(c));
        }
    }
};

} // namespace

std::vector<ProjectChange> DiffProjects(const RenderState& before, const RenderState& after) {
    Differ differ;
    differ.areaBefore = PictureAreaOf(before);
    differ.areaAfter = PictureAreaOf(after);
    if (before.width != after.width || before.height != after.height) {
        ProjectChange c;
        c.kind = ProjectChange::Kind::PictureSize;
        c.field = "size";
        c.before = SizeText(before.width, before.height);
        c.after = SizeText(after.width, after.height);
        c.text = T(text::diff_picture_size, {c.before, c.after});
        differ.Add(std::move(c));
    }
    differ.Detectors(before, after);
    differ.Backgrounds(before, after);
    differ.Rows('Y', before.composer_y, after.composer_y);
    differ.Rows('Z', before.composer_z, after.composer_z);
    differ.Rows('C', before.composer_a, after.composer_a);
    return std::move(differ.changes);
}

std::string SecondsText(uint32_t ms) {
    std::string fraction = std::to_string(1000 + ms % 1000).substr(1); // three digits
    while (fraction.size() > 1 && fraction.back() == '0')
        fraction.pop_back();
    return T(text::diff_seconds, {std::to_string(ms / 1000) + "." + fraction});
}

std::string TypedFormula(const ComposerItem& row) {
    std::string text = FormulaText(row);
    // Drop the outer pair only when it closes at the very end.
    if (text.size() < 2 || text.front() != '(' || text.back() != ')')
        return text;
    int depth = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        depth += text[i] == '(' ? 1 : text[i] == ')' ? -1 : 0;
        if (depth == 0)
            return text; // "(A1) | (A2)": the first pair closes early
    }
    return text.substr(1, text.size() - 2);
}

const char* ChangeKindName(ProjectChange::Kind kind) {
    switch (kind) {
    case ProjectChange::Kind::PictureSize:
        return "picture-size";
    case ProjectChange::Kind::DetectorAdded:
        return "detector-added";
    case ProjectChange::Kind::DetectorRemoved:
        return "detector-removed";
    case ProjectChange::Kind::DetectorRenumbered:
        return "detector-renumbered";
    case ProjectChange::Kind::DetectorMoved:
        return "detector-moved";
    case ProjectChange::Kind::DetectorProperty:
        return "detector-property";
    case ProjectChange::Kind::ExclusionChanged:
        return "exclusion-changed";
    case ProjectChange::Kind::BackgroundChanged:
        return "background-changed";
    case ProjectChange::Kind::OutputChanged:
        return "output-changed";
    }
    return "unknown";
}

} // namespace korvex
