#include "model/RenderState.h"

#include <atomic>

namespace korvex {

ComposerChildren::List& ComposerChildren::Own() {
    if (!items) {
        items = std::make_shared<List>();
    } else if (items.use_count() == 1) {
        // The only reference: the last other holder let go with a release
        // (the count's decrement); this fence orders our writes after its
        // reads of the list.
        std::atomic_thread_fence(std::memory_order_acquire);
    } else {
        items = std::make_shared<List>(*items);
    }
    return *items;
}

const ComposerChildren::List& ComposerChildren::NoItems() {
    static const List none;
    return none;
}

bool ComposerItem::SameContent(const ComposerItem& other) const {
    if (kind != other.kind || number != other.number || children.size() != other.children.size())
        return false;
    if (children.SharesWith(other.children))
        return true;
    for (size_t i = 0; i < children.size(); ++i)
        if (!children[i].SameContent(other.children[i]))
            return false;
    return true;
}

namespace {
bool SameList(const std::vector<ComposerItem>& a, const std::vector<ComposerItem>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!a[i].SameContent(b[i]))
            return false;
    return true;
}
} // namespace

RenderState RenderState::NewProject() {
    RenderState s;
    s.width = 320;
    s.height = 240;
    s.EnsureBackgrounds(4);
    s.composer_y.resize(24);
    if (s.composer_a.size() < 4)
        s.composer_a.resize(4);
    if (s.composer_z.empty())
        s.composer_z.assign(64, ComposerItem(ComposerItem::Empty));
    return s;
}

void RenderState::EnsureBackgrounds(size_t count) {
    if (backgrounds.size() > count) {
        backgrounds.resize(count);
        return;
    }
    while (backgrounds.size() < count)
        backgrounds.push_back(Bitmap::White(CanvasWidth(), CanvasHeight()));
}

Detector* RenderState::DetectorAt(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= detectors.size())
        return nullptr;
    return &detectors[static_cast<size_t>(index)];
}

const Detector* RenderState::DetectorAt(int32_t index) const {
    return const_cast<RenderState*>(this)->DetectorAt(index);
}

std::vector<ComposerItem>& RenderState::ComposerList(const std::string& path) {
    char c = path.empty() ? '\0' : path[0];
    if (c == 'Y')
        return composer_y;
    if (c == 'Z')
        return composer_z;
    return composer_a;
}

ComposerItem* RenderState::ComposerRowItem(const std::string& path) {
    if (path.size() < 2)
        return nullptr;
    char c = path[0];
    int row = (c == 'Y' || c == 'Z') ? path[1] - '0' : path[1] - 'a';
    auto& list = ComposerList(path);
    if (row < 0 || static_cast<size_t>(row) >= list.size())
        return nullptr;
    return &list[static_cast<size_t>(row)];
}

uint32_t RenderState::ComposerGroup(const std::string& path) {
    char c = path.empty() ? '\0' : path[0];
    return c == 'Y' ? GroupY : c == 'Z' ? GroupZ : GroupA;
}

bool RenderState::operator==(const RenderState& o) const {
    return backgrounds == o.backgrounds && detectors == o.detectors && width == o.width &&
           height == o.height && SameList(composer_a, o.composer_a) && SameList(composer_y, o.composer_y) &&
           SameList(composer_z, o.composer_z);
}

} // namespace korvex
