// JPEG through libjpeg-turbo, baseline or progressive, colour or grey. The
// library fills what a cut or damaged file lacks and only warns about it;
// here any warning refuses the file, so no pixel is made up. Decoding ends
// at the end marker; what a file carries after it (cameras store further
// pictures there) is not read. A turn the camera recorded in its Exif
// block is applied.
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "image/PictureDecoders.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <vector>

namespace korvex {

namespace {

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void OnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

// Warnings are counted by the library (num_warnings); none is printed.
void Quiet(j_common_ptr) {}

bool ReadHeader(jpeg_decompress_struct& info, JpegErrors& errors, std::FILE* file) {
    if (setjmp(errors.jump))
        return false;
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    return true;
}

bool ReadRows(jpeg_decompress_struct& info, JpegErrors& errors, uint8_t* bgr) {
    if (setjmp(errors.jump))
        return false;
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    if (info.output_components != 3)
        return false;
    const size_t rowBytes = size_t(info.output_width) * 3;
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = bgr + size_t(info.output_scanline) * rowBytes;
        if (jpeg_read_scanlines(&info, &row, 1) != 1)
            return false;
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

Picture DecodeJpeg(std::FILE* file, const std::string& name, uint64_t maxPixels) {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = OnError;
    errors.manager.output_message = Quiet;
    struct Release {
        jpeg_decompress_struct& info;
        ~Release() { jpeg_destroy_decompress(&info); }
    } release{info};

    if (!ReadHeader(info, errors, file) || errors.manager.num_warnings != 0)
        RefuseDamaged(name);
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK)
        RefuseUnreadable(name, LoadTextA(text::picture_jpeg_colours));
    CheckPictureSize(name, info.image_width, info.image_height, maxPixels);
    int orientation = 1;
    for (jpeg_saved_marker_ptr m = info.marker_list; m && orientation == 1; m = m->next)
        if (m->marker == JPEG_APP0 + 1)
            orientation = ExifOrientation(m->data, m->data_length);
    // The output size is the picture's: no scaling is asked for.
    Picture picture;
    picture.width = info.image_width;
    picture.height = info.image_height;
    picture.bgr.resize(size_t(picture.width) * picture.height * 3);
    if (!ReadRows(info, errors, picture.bgr.data()) || errors.manager.num_warnings != 0 ||
        info.output_width != picture.width || info.output_height != picture.height)
        RefuseDamaged(name);
    ApplyOrientation(picture, orientation);
    return picture;
}

} // namespace korvex
