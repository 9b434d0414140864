// The BMP reader on arbitrary bytes, into both canvas sizes. It either
// fills the picture or raises its message and leaves the picture alone.
#include "framework/LocalException.h"
#include "image/Bitmap.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korvex;
    for (auto [w, h] : {std::pair<uint32_t, uint32_t>{320, 240}, {240, 144}}) {
        Bitmap picture(w, h);
        Bitmap before = picture;
        try {
            picture.LoadBmp(data, size);
        } catch (const LocalException&) {
            if (!(picture == before))
                std::abort();
        }
        if (picture.Width() != w || picture.Height() != h)
            std::abort();
    }
    return 0;
}
