#include "composer/Composer.h"

#include "framework/ByteOrder.h"

namespace korvex {

namespace {


bool StoresNumber(uint32_t kind) {
    return kind == 2 || kind == 3 || kind == 4 || kind == 8 || kind == 9 || kind == 10 || (kind >= 13 && kind <= 19);
}

bool Read(const uint8_t* data, size_t size, ComposerItem& item, int depth) {
    if (depth > MaxItemDepth || size < 8)
        return false;
    uint32_t code = ReadLe32(data);
    uint32_t length = ReadLe32(data + 4);
    if (length < 8 || length > size || code != 9)
        return false;
    const uint8_t* p = data + 8;
    size_t left = length - 8;
    if (left < 12)
        return false;
    uint32_t kind = ReadLe32(p), number = ReadLe32(p + 4), count = ReadLe32(p + 8);
    p += 12;
    left -= 12;
    if (kind >= 20 || (count != 0 && count != 2))
        return false;
    if ((kind == ComposerItem::Blur || kind == ComposerItem::Blank) && number >= 8)
        return false;
    item.kind = kind;
    item.number = static_cast<int32_t>(number);
    item.box = {};
    item.children.assign(count, ComposerItem());
    for (uint32_t i = 0; i < count; ++i) {
        if (left < 8)
            return false;
        uint32_t childLength = ReadLe32(p + 4);
        if (childLength < 8 || childLength > left)
            return false;
        if (!Read(p, childLength, item.children[i], depth + 1))
            return false;
        p += childLength;
        left -= childLength;
    }
    return left == 0;
}

} // namespace

void WriteItem(const ComposerItem& item, std::vector<uint8_t>& out) {
    size_t start = out.size();
    AppendLe32(out, 9);
    AppendLe32(out, 0); // length, patched below
    AppendLe32(out, item.kind);
    AppendLe32(out, StoresNumber(item.kind) ? static_cast<uint32_t>(item.number) : 0);
    AppendLe32(out, static_cast<uint32_t>(item.children.size()));
    for (const ComposerItem& child : item.children)
        WriteItem(child, out);
    uint32_t length = static_cast<uint32_t>(out.size() - start);
    for (int i = 0; i < 4; ++i)
        out[start + 4 + size_t(i)] = static_cast<uint8_t>(length >> (8 * i));
}

bool ReadItem(const uint8_t* data, size_t size, ComposerItem& item, size_t* used) {
    if (!Read(data, size, item, 0))
        return false;
    if (used)
        *used = ReadLe32(data + 4);
    return true;
}

} // namespace korvex
