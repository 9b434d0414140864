#pragma once

#include "framework/ByteOrder.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace korvex {

// Little-endian helpers for the chunk lists of project files and packages:
// u32 type, u32 length including the 8-byte header, payload.

// Appends a whole chunk.
void AppendChunk(std::vector<uint8_t>& out, uint32_t type, const uint8_t* payload, size_t size);
inline void AppendChunk(std::vector<uint8_t>& out, uint32_t type, const std::vector<uint8_t>& payload) {
    AppendChunk(out, type, payload.data(), payload.size());
}
inline void AppendChunk(std::vector<uint8_t>& out, uint32_t type, std::string_view payload) {
    AppendChunk(out, type, reinterpret_cast<const uint8_t*>(payload.data()), payload.size());
}

// Opens a chunk in `out` whose length is filled in by CloseChunk, for
// payloads written in place.
size_t OpenChunk(std::vector<uint8_t>& out, uint32_t type);
void CloseChunk(std::vector<uint8_t>& out, size_t start);

// Walks a chunk list. Next() yields one complete chunk at a time and stops
// (returns false) when fewer than 4 bytes remain for the type, fewer than 4
// for the length, the length is below 8, or the payload is not all there.
// Stopping is not an error in itself; CutShort() tells a walk that stopped
// on a fragment from one that used up every byte.
class ChunkReader {
public:
    ChunkReader(const uint8_t* data, size_t size) : data(data), size(size) {}

    struct Chunk {
        uint32_t type = 0;
        const uint8_t* payload = nullptr;
        size_t size = 0;
    };

    bool Next(Chunk& chunk);
    bool CutShort() const { return offset < size; }
    // The type of the chunk the walk stopped at; 0 when not even its type
    // was there.
    uint32_t StoppedAtType() const { return size - offset >= 4 ? ReadLe32(data + offset) : 0; }

private:
    const uint8_t* data;
    size_t size;
    size_t offset = 0;
};

} // namespace korvex
