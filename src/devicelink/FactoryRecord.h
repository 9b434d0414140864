#pragma once

#include <cstddef>
#include <cstdint>

namespace korvex {

// Decodes the factory configuration record (a Protocol Buffers message) and
// returns its camera_count field read as unsigned; 0 when the field is absent
// or the bytes are not a valid encoding of the message.
uint32_t DecodeFactoryConfig(const uint8_t* data, size_t size);

} // namespace korvex
