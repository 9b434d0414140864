#pragma once

#include <cstddef>
#include <cstdint>

namespace korvex {

// Receives what the reader finds in a recording, in file order.
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

// Walks a whole AVI file of `size` bytes held in memory (or arriving in it:
// the sink's Need is called before any byte is looked at, in increasing
// order of offset). Only the "avih" chunk of the "hdrl"
// list and the "00dc" chunks directly inside the "movi" list are reported;
// every other chunk and list is skipped. Every length is checked against the
// bytes that remain before it is used. Errors raised (string-table numbers):
// 244 file or list (at any depth) too short, 245 a length beyond the file or its list,
// 246 main header too short, 251 form other than "AVI ", 253 not a RIFF
// file. Errors the sink raises pass through.
void ParseAvi(const uint8_t* data, size_t size, AviInputSink& sink);

} // namespace korvex
