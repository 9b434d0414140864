#pragma once

#include "model/RenderState.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

// The device configuration package: entries (chunk 12) each holding a name
// (chunk 13) and a content (chunk 14): "det1.bmp".."detN.bmp", "config.txt",
// "compose.txt".

// The alias of a project path: what follows the last "\" or "/", cut at its
// last "." ("C:\work\gate.kvx" -> "gate", "test.tdv" -> "test").
std::string AliasFromPath(const std::string& path);

// Where the camera picture sits on the canvas, and the picture's size:
// PictureLeft of its width (column 30 for 180, 24 for 192, 0 for 240 and
// 320), where the bitmap loader puts it.
uint32_t PictureOffsetX(const RenderState& state);

// The 1-bit mask file of detector `index` (bottom-up rows of
// (width + 7) / 8 bytes, no colour table). Raises the bitmap range error
// when the detector's card has no background.
std::vector<uint8_t> BuildMaskBmp(const RenderState& state, size_t index);

// The "config.txt" text. Control characters of the alias (a line break in
// a file name) are written as "_" so that they cannot start a line.
std::string BuildConfigText(const RenderState& state, const std::string& alias);

// The whole package for `state`; only the alias is taken from `path`.
// Raises before returning anything when a detector's card has no
// background.
std::vector<uint8_t> BuildConfigPackage(const RenderState& state, const std::string& path);

struct PackageEntry {
    std::string name;
    std::vector<uint8_t> content;
};

// Splits a package into its entries. Returns false when the bytes are not a
// well-formed package (an entry without exactly a name and a content chunk,
// or bytes left over).
bool ReadPackageEntries(const uint8_t* data, size_t size, std::vector<PackageEntry>& entries);

} // namespace korvex
