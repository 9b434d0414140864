// Arbitrary bytes as an H.264 access unit for the size check that runs
// before decoding: it must read only inside the unit and always finish.
#include "live/H264Units.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    korvex::CheckUnitSize(data, size, 352, 288);
    if (size > 0)
        korvex::SequenceSize(data, size);
    return 0;
}
