// PNG through libpng: any bit depth and colour type, interlaced or not,
// turned into 8-bit B, G, R; transparency is laid over white. A file that
// ends before its last chunk, fails a checksum of the picture data, makes
// the library warn, or carries bytes after its end chunk is refused.
#include "image/PictureDecoders.h"

#include <csetjmp>
#include <png.h>
#include <vector>

namespace korvex {

namespace {

struct PngSession {
    png_structp png = nullptr;
    png_infop info = nullptr;
    int warnings = 0;

    ~PngSession() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

void OnError(png_structp png, png_const_charp) {
    std::longjmp(png_jmpbuf(png), 1);
}

void OnWarning(png_structp png, png_const_charp) {
    ++static_cast<PngSession*>(png_get_error_ptr(png))->warnings;
}

// Chunks that describe rather than make up the picture (colour profiles,
// gamma, text, times): they are skipped unread, so nothing in them can make
// the library warn about a picture whose pixels are whole.
const png_byte kSkippedChunks[] =
    "iCCP\0sRGB\0gAMA\0cHRM\0sBIT\0tEXt\0zTXt\0iTXt\0tIME\0pHYs\0eXIf\0bKGD\0hIST\0sPLT\0";

// Sets the transformations that give 8-bit RGBA rows.
void ToRgba(png_structp png, png_infop info) {
    const int type = png_get_color_type(png, info);
    if (png_get_bit_depth(png, info) == 16)
        png_set_strip_16(png);
    if (type == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_expand_gray_1_2_4_to_8(png);
        png_set_gray_to_rgb(png);
    }
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(png);
    else if (!(type & PNG_COLOR_MASK_ALPHA))
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

// The library's calls, each phase in a frame of its own: the error handler
// jumps back to it, and no object with a destructor lives between the two.
bool ReadHeader(PngSession& s, std::FILE* file, png_uint_32& width, png_uint_32& height) {
    if (setjmp(png_jmpbuf(s.png)))
        return false;
    png_init_io(s.png, file);
    png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks,
                                int(sizeof kSkippedChunks / 5));
    png_read_info(s.png, s.info);
    width = png_get_image_width(s.png, s.info);
    height = png_get_image_height(s.png, s.info);
    return true;
}

bool ReadRows(PngSession& s, png_bytep* rows, size_t rowBytes) {
    if (setjmp(png_jmpbuf(s.png)))
        return false;
    ToRgba(s.png, s.info);
    if (png_get_rowbytes(s.png, s.info) != rowBytes)
        return false;
    png_read_image(s.png, rows);
    png_read_end(s.png, nullptr);
    return true;
}

} // namespace

Picture DecodePng(std::FILE* file, uint64_t fileSize, const std::string& name, uint64_t maxPixels) {
    PngSession s;
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, OnError, OnWarning);
    if (!s.png || !(s.info = png_create_info_struct(s.png)))
        RefuseDamaged(name);
    // The header is checked before the library makes any picture buffer.
    png_set_user_limits(s.png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_uint_32 width = 0, height = 0;
    if (!ReadHeader(s, file, width, height))
        RefuseDamaged(name);
    CheckPictureSize(name, width, height, maxPixels);
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = rgba.data() + size_t(y) * width * 4;
    const bool decoded = ReadRows(s, rows.data(), size_t(width) * 4);
    // The end chunk must be where the file ends: bytes after it are not
    // part of the picture.
    const off_t at = ftello(file);
    if (!decoded || s.warnings != 0 || at < 0 || uint64_t(at) != fileSize)
        RefuseDamaged(name);
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.bgr.resize(size_t(width) * height * 3);
    const uint8_t* in = rgba.data();
    uint8_t* out = picture.bgr.data();
    for (size_t i = 0; i < size_t(width) * height; ++i, in += 4, out += 3) {
        const unsigned a = in[3];
        for (int c = 0; c < 3; ++c)
            out[2 - c] = uint8_t((in[c] * a + 255 * (255 - a) + 127) / 255);
    }
    return picture;
}

} // namespace korvex
