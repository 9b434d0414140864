#pragma once

#include "image/Bitmap.h"
#include "image/PictureReader.h"
#include "model/RenderState.h"

#include <QString>
#include <optional>

class QWidget;

namespace korvex {

class Prompter;

// The file dialog's pattern: BMP first, then the other formats the
// picture reader of the core reads ("*.bmp *.png *.jpg *.jpeg").
QString PicturePatterns();

// The new background of `card` from the picture file `path`, read by the
// core's picture reader (ReadBackgroundSource). A 24-bit BMP of the
// camera's size goes in exactly as it always has; any other BMP, PNG or
// JPEG is scaled to the camera picture with its aspect kept: the user
// picks fit (grey bars) or fill (crop) when the shapes differ. None when
// the user cancels that choice. A file that cannot be read, is too large
// or is cut short raises an error with a clear message.
std::optional<Bitmap> BackgroundPicture(Prompter& prompts, QWidget* owner, const QString& path,
                                        const RenderState& state, int32_t card);

} // namespace korvex
