#include "image/PictureReader.h"

#include "framework/InputFile.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "image/PictureDecoders.h"

#include <cstring>

namespace korvex {

std::string FillPlaceholders(const std::string& format, std::initializer_list<std::string> args) {
    std::string out;
    auto next = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '%' && i + 1 < format.size()) {
            const char kind = format[i + 1];
            if (kind == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (kind == 's' || kind == 'u' || kind == 'd') {
                if (next != args.end())
                    out += *next++;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

void RefuseUnreadable(const std::string& name, const std::string& reason) {
    RaiseMessage(FillPlaceholders(LoadTextA(text::picture_unreadable), {name, reason}));
}

void RefuseTooLarge(const std::string& name, uint64_t width, uint64_t height, uint64_t maxPixels) {
    RaiseMessage(FillPlaceholders(
        LoadTextA(text::picture_too_large),
        {name, std::to_string(width), std::to_string(height), std::to_string(maxPixels / 1'000'000)}));
}

void RefuseDamaged(const std::string& name) {
    RaiseMessage(FillPlaceholders(LoadTextA(text::picture_damaged), {name}));
}

void CheckPictureSize(const std::string& name, uint64_t width, uint64_t height, uint64_t maxPixels) {
    if (width == 0 || height == 0)
        RefuseDamaged(name);
    // Both factors are below 2^32, so the product cannot overflow.
    if (width > UINT32_MAX || height > UINT32_MAX || width * height > maxPixels)
        RefuseTooLarge(name, width, height, maxPixels);
}

PictureFormat SniffPictureFormat(const uint8_t* head, size_t size) {
    static const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 8 && std::memcmp(head, png, 8) == 0)
        return PictureFormat::Png;
    if (size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return PictureFormat::Jpeg;
    if (size >= 2 && head[0] == 'B' && head[1] == 'M')
        return PictureFormat::Bmp;
    return PictureFormat::Unknown;
}

Picture ReadPicture(const std::string& path, uint64_t maxPixels) {
    InputFile file(path);
    const std::string name = file.Name();
    uint8_t head[8] = {};
    const size_t headSize = file.Size() < sizeof head ? size_t(file.Size()) : sizeof head;
    file.Read(head, headSize);
    if (std::fseek(file.Handle(), 0, SEEK_SET) != 0)
        RefuseDamaged(name);
    switch (SniffPictureFormat(head, headSize)) {
    case PictureFormat::Bmp:
        return DecodeBmp(file.Handle(), file.Size(), name, maxPixels);
    case PictureFormat::Png:
        return DecodePng(file.Handle(), file.Size(), name, maxPixels);
    case PictureFormat::Jpeg:
        return DecodeJpeg(file.Handle(), name, maxPixels);
    case PictureFormat::Unknown:
        break;
    }
    RefuseUnreadable(name, LoadTextA(text::picture_not_a_picture));
}

BackgroundSource ReadBackgroundSource(const std::string& path, const Bitmap& current, uint64_t maxPixels) {
    BackgroundSource source;
    // The exact path first: a 24-bit BMP of the camera's size loads pixel
    // for pixel into a copy of the card's background, margins kept.
    Bitmap exact = current;
    try {
        exact.LoadBmpFile(path);
        source.exact = std::move(exact);
        return source;
    } catch (const LocalException& bmpError) {
        try {
            source.picture = ReadPicture(path, maxPixels);
        } catch (const LocalException&) {
            // A BMP (by its content or its name) that neither reading takes
            // keeps the bitmap check's message; anything else the picture
            // reader's.
            const std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : "";
            bool bmp = ext == ".bmp" || ext == ".BMP" || ext == ".Bmp";
            try {
                InputFile file(path);
                uint8_t head[2] = {};
                if (file.Size() >= 2) {
                    file.Read(head, 2);
                    bmp = bmp || SniffPictureFormat(head, 2) == PictureFormat::Bmp;
                }
            } catch (const LocalException&) {
            }
            if (bmp)
                throw bmpError;
            throw;
        }
    }
    return source;
}

Bitmap ReadCameraPicture(const std::string& path, uint32_t width, uint32_t height) {
    Bitmap picture(width, height);
    const BackgroundSource source = ReadBackgroundSource(path, picture);
    if (source.exact)
        return *source.exact;
    const Picture& p = source.picture;
    if (p.width != width || p.height != height) {
        const size_t slash = path.find_last_of('/');
        RaiseMessage(FillPlaceholders(LoadTextA(text::picture_wrong_size),
                                      {slash == std::string::npos ? path : path.substr(slash + 1),
                                       std::to_string(p.width), std::to_string(p.height),
                                       std::to_string(width), std::to_string(height)}));
    }
    std::memcpy(picture.Data().data(), p.bgr.data(), p.bgr.size());
    return picture;
}

} // namespace korvex
