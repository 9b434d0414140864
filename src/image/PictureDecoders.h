#pragma once

// The decoders behind ReadPicture, one per format, and the refusals they
// share. Each works on an open file positioned at its start.

#include "image/PictureReader.h"

#include <cstdio>
#include <string>

namespace korvex {

// `fileSize` is the file's size; `name` the file name for messages.
Picture DecodeBmp(std::FILE* file, uint64_t fileSize, const std::string& name, uint64_t maxPixels);
Picture DecodePng(std::FILE* file, uint64_t fileSize, const std::string& name, uint64_t maxPixels);
Picture DecodeJpeg(std::FILE* file, const std::string& name, uint64_t maxPixels);

// The Exif orientation (1 to 8; 1 upright) of a JPEG's APP1 block
// ("Exif\0\0" and a TIFF header), 1 when it records none.
int ExifOrientation(const uint8_t* block, size_t size);
// Turns and mirrors `picture` as orientation 2 to 8 asks.
void ApplyOrientation(Picture& picture, int orientation);

// text::picture_unreadable with `reason` (a text of its own).
[[noreturn]] void RefuseUnreadable(const std::string& name, const std::string& reason);
// text::picture_too_large; also for a size whose bytes would not fit memory.
[[noreturn]] void RefuseTooLarge(const std::string& name, uint64_t width, uint64_t height,
                                 uint64_t maxPixels);
// text::picture_damaged: cut short, a decoder's error or warning, bytes after the end.
[[noreturn]] void RefuseDamaged(const std::string& name);
// Checks the size a header declares: not empty, at most `maxPixels`.
void CheckPictureSize(const std::string& name, uint64_t width, uint64_t height, uint64_t maxPixels);
// Fills %s, %u and %d of a text with `args` in order.
std::string FillPlaceholders(const std::string& format, std::initializer_list<std::string> args);

} // namespace korvex
