// The factory record is read from the device.
#include "devicelink/FactoryRecord.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    volatile uint32_t cameras = korvex::DecodeFactoryConfig(data, size);
    (void)cameras;
    return 0;
}
