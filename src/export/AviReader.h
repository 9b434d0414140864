#pragma once

#include <cstddef>
#include <cstdint>

namespace korvex {

// Receives what the reader finds in a recording held in memory, in file
// order.
class AviInputSink {
public:
    virtual ~AviInputSink() = default;
    // An "avih" main header: the picture size it declares.
    virtual void OnMainHeader(uint32_t width, uint32_t height) = 0;
    // A "00dc" frame of the "movi" list; `data` points into the parsed
    // buffer and stays valid as long as the caller keeps that buffer.
    virtual void OnFrame(const uint8_t* data, uint32_t size) = 0;
    // The reader is about to look at the bytes before offset `end` of the
    // buffer. A sink that fills the buffer while it is being read makes sure
    // they are there; by default the whole buffer already is.
    virtual void Need(size_t end) { (void)end; }
};

// Where the walk reads a recording from: `Size` bytes, read a few at a time
// at increasing offsets (chunk heads, list types, the main header). Read
// raises its own errors.
class AviSource {
public:
    virtual ~AviSource() = default;
    virtual uint64_t Size() const = 0;
    virtual void Read(uint64_t offset, void* out, size_t n) = 0;
};

// Receives what the walk finds, by position: the frame's data starts at
// `offset` of the source (its 8-byte chunk head just before it).
class AviFrameSink {
public:
    virtual ~AviFrameSink() = default;
    virtual void OnMainHeader(uint32_t width, uint32_t height) = 0;
    virtual void OnFrameAt(uint64_t offset, uint32_t size) = 0;
};

// Walks an AVI file without reading the frames themselves. Only the "avih"
// chunk of the "hdrl" list and the "00dc" chunks directly inside the "movi"
// list are reported; every other chunk and list is skipped. Every length is
// checked against the bytes that remain before it is used. Errors raised
// (texts): a file or list (at any depth) too short text::export_chunk_short,
// a length beyond the file or its list export_chunk_past_end, a main header
// too short export_header_short, a form other than "AVI " export_not_avi, not
// a RIFF file export_not_riff. Errors the source or sink raises
// pass through.
void WalkAvi(AviSource& source, AviFrameSink& sink);

// The same walk over a whole AVI file of `size` bytes held in memory (or
// arriving in it: the sink's Need is called before any byte is looked at,
// in increasing order of offset).
void ParseAvi(const uint8_t* data, size_t size, AviInputSink& sink);

} // namespace korvex
