#include "devicelink/FactoryRecord.h"

#include "devicelink/FactoryConfig.pb.h"

#include <pb_decode.h>

namespace korvex {

uint32_t DecodeFactoryConfig(const uint8_t* data, size_t size) {
    FactoryConfig config = FactoryConfig_init_zero;
    // nanopb reads through the stream only; an empty buffer is a valid
    // message with every field absent.
    static const uint8_t none = 0;
    pb_istream_t stream = pb_istream_from_buffer(size ? data : &none, size);
    if (!pb_decode(&stream, FactoryConfig_fields, &config))
        return 0;
    return static_cast<uint32_t>(config.camera_count);
}

} // namespace korvex
