#include "files/Chunk.h"

namespace korvex {

void AppendChunk(std::vector<uint8_t>& out, uint32_t type, const uint8_t* payload, size_t size) {
    AppendLe32(out, type);
    AppendLe32(out, static_cast<uint32_t>(size + 8));
    out.insert(out.end(), payload, payload + size);
}

size_t OpenChunk(std::vector<uint8_t>& out, uint32_t type) {
    size_t start = out.size();
    AppendLe32(out, type);
    AppendLe32(out, 0);
    return start;
}

void CloseChunk(std::vector<uint8_t>& out, size_t start) {
    uint32_t length = static_cast<uint32_t>(out.size() - start);
    for (int i = 0; i < 4; ++i)
        out[start + 4 + size_t(i)] = static_cast<uint8_t>(length >> (8 * i));
}

bool ChunkReader::Next(Chunk& chunk) {
    size_t left = size - offset;
    if (left < 8)
        return false;
    uint32_t type = ReadLe32(data + offset);
    uint32_t length = ReadLe32(data + offset + 4);
    if (length < 8 || length - 8 > left - 8)
        return false;
    chunk.type = type;
    chunk.payload = data + offset + 8;
    chunk.size = length - 8;
    offset += length;
    return true;
}

} // namespace korvex
