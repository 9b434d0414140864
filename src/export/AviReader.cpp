#include "export/AviReader.h"

#include "export/AviFormat.h"
#include "framework/LocalException.h"
#include "framework/TextIds.h"

#include <cstring>

namespace korvex {

namespace {

enum class ListKind { Body, HeaderList, MovieList };

// Walks the chunks in [begin, begin + length) of the source; the caller has
// made sure the range lies inside it.
void WalkChunks(AviSource& source, uint64_t begin, uint64_t length, ListKind kind, AviFrameSink& sink) {
    uint64_t at = 0;
    while (length - at >= 8) {
        const uint64_t chunk = begin + at;
        const uint64_t remaining = length - at;
        uint8_t head[8];
        source.Read(chunk, head, 8);
        const uint64_t chunkLength = ReadLe32(head + 4);
        if (chunkLength + 8 > remaining)
            RaiseError(text::export_chunk_past_end);
        const uint64_t body = chunk + 8;
        // A list too short to hold its type is damaged at any depth, even
        // where its content would be skipped.
        const bool isList = IsCode(head, "LIST");
        if (isList && chunkLength < 4)
            RaiseError(text::export_chunk_short);
        switch (kind) {
        case ListKind::Body:
            if (isList) {
                uint8_t type[4];
                source.Read(body, type, 4);
                if (IsCode(type, "hdrl"))
                    WalkChunks(source, body + 4, chunkLength - 4, ListKind::HeaderList, sink);
                else if (IsCode(type, "movi"))
                    WalkChunks(source, body + 4, chunkLength - 4, ListKind::MovieList, sink);
            }
            break;
        case ListKind::HeaderList:
            if (IsCode(head, "avih")) {
                if (chunkLength < 56)
                    RaiseError(text::export_header_short);
                uint8_t main[56];
                source.Read(body, main, 56);
                sink.OnMainHeader(ReadLe32(main + 32), ReadLe32(main + 36));
            }
            break;
        case ListKind::MovieList:
            if (IsCode(head, "00dc"))
                sink.OnFrameAt(body, static_cast<uint32_t>(chunkLength));
            break;
        }
        // The next chunk starts after the data rounded up to even; a pad
        // byte missing at the very end simply ends the walk.
        const uint64_t step = PaddedChunkLength(chunkLength);
        if (step >= remaining)
            break;
        at += step;
    }
}

// A buffer in memory, announcing each range to the sink before it is read.
class MemorySource : public AviSource, public AviFrameSink {
public:
    MemorySource(const uint8_t* data, size_t size, AviInputSink& sink) : data(data), size(size), sink(sink) {}
    uint64_t Size() const override { return size; }
    void Read(uint64_t offset, void* out, size_t n) override {
        sink.Need(static_cast<size_t>(offset + n));
        std::memcpy(out, data + offset, n);
    }
    void OnMainHeader(uint32_t width, uint32_t height) override { sink.OnMainHeader(width, height); }
    void OnFrameAt(uint64_t offset, uint32_t n) override {
        sink.Need(static_cast<size_t>(offset + n));
        sink.OnFrame(data + offset, n);
    }

private:
    const uint8_t* data;
    size_t size;
    AviInputSink& sink;
};

} // namespace

void WalkAvi(AviSource& source, AviFrameSink& sink) {
    const uint64_t size = source.Size();
    if (size < 8)
        RaiseError(text::export_chunk_short);
    uint8_t head[12] = {};
    source.Read(0, head, size < 12 ? size_t(size) : 12);
    const uint64_t riffLength = ReadLe32(head + 4);
    if (riffLength + 8 > size)
        RaiseError(text::export_chunk_past_end);
    if (!IsCode(head, "RIFF"))
        RaiseError(text::export_not_riff);
    if (riffLength < 4)
        RaiseError(text::export_chunk_short);
    if (!IsCode(head + 8, "AVI "))
        RaiseError(text::export_not_avi);
    WalkChunks(source, 12, riffLength - 4, ListKind::Body, sink);
}

void ParseAvi(const uint8_t* data, size_t size, AviInputSink& sink) {
    MemorySource source(data, size, sink);
    WalkAvi(source, source);
}

} // namespace korvex
