#include "files/Chunk.h"

namespace korvex {

void PutU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void AppendChunk(std::vector<uint8_t>& out, uint32_t type, const uint8_t* payload, size_t size) {
    PutU32(out, type);
    PutU32(out, static_cast<uint32_t>(size + 8));
    out.insert(out.end(), payload, payload + size);
}

size_t OpenChunk(std::vector<uint8_t>& out, uint32_t type) {
    size_t start = out.size();
    PutU32(out, type);
    PutU32(out, 0);
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
    uint32_t type = GetU32(data + offset);
    uint32_t length = GetU32(data + offset + 4);
    if (length < 8 || length - 8 > left - 8)
        return false;
    chunk.type = type;
    chunk.payload = data + offset + 8;
    chunk.size = length - 8;
    offset += length;
    return true;
}

} // namespace korvex
