#include "export/AviReader.h"

#include "export/AviFormat.h"
#include "framework/LocalException.h"

namespace korvex {

namespace {

enum class ListKind { Body, HeaderList, MovieList };

// Walks the chunks in [begin, begin + length). The caller has made sure the
// range lies inside the buffer that starts at `base`.
void WalkChunks(const uint8_t* base, const uint8_t* begin, uint64_t length, ListKind kind,
                AviInputSink& sink) {
    auto need = [&](const uint8_t* end) { sink.Need(static_cast<size_t>(end - base)); };
    uint64_t at = 0;
    while (length - at >= 8) {
        const uint8_t* chunk = begin + at;
        uint64_t remaining = length - at;
        need(chunk + 8);
        uint64_t chunkLength = ReadLe32(chunk + 4);
        if (chunkLength + 8 > remaining)
            RaiseError(245);
        const uint8_t* body = chunk + 8;
        // A list too short to hold its type is damaged at any depth, even
        // where its content would be skipped.
        const bool isList = IsCode(chunk, "LIST");
        if (isList && chunkLength < 4)
            RaiseError(244);
        switch (kind) {
        case ListKind::Body:
            if (isList) {
                need(body + 4);
                if (IsCode(body, "hdrl"))
                    WalkChunks(base, body + 4, chunkLength - 4, ListKind::HeaderList, sink);
                else if (IsCode(body, "movi"))
                    WalkChunks(base, body + 4, chunkLength - 4, ListKind::MovieList, sink);
            }
            break;
        case ListKind::HeaderList:
            if (IsCode(chunk, "avih")) {
                if (chunkLength < 56)
                    RaiseError(246);
                need(body + 56);
                sink.OnMainHeader(ReadLe32(body + 32), ReadLe32(body + 36));
            }
            break;
        case ListKind::MovieList:
            if (IsCode(chunk, "00dc")) {
                need(body + chunkLength);
                sink.OnFrame(body, static_cast<uint32_t>(chunkLength));
            }
            break;
        }
        // The next chunk starts after the data rounded up to even; a pad
        // byte missing at the very end simply ends the walk.
        uint64_t step = PaddedChunkLength(chunkLength);
        if (step >= remaining)
            break;
        at += step;
    }
}

} // namespace

void ParseAvi(const uint8_t* data, size_t size, AviInputSink& sink) {
    if (size < 8)
        RaiseError(244);
    sink.Need(12 <= size ? 12 : size);
    uint64_t riffLength = ReadLe32(data + 4);
    if (riffLength + 8 > size)
        RaiseError(245);
    if (!IsCode(data, "RIFF"))
        RaiseError(253);
    if (riffLength < 4)
        RaiseError(244);
    if (!IsCode(data + 8, "AVI "))
        RaiseError(251);
    WalkChunks(data, data + 12, riffLength - 4, ListKind::Body, sink);
}

} // namespace korvex
