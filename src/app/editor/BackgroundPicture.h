#pragma once

#include "image/Bitmap.h"
#include "model/RenderState.h"

#include <QString>
#include <optional>

class QWidget;

namespace korvex {

class Prompter;

// The most pixels a picture may have to become a background, and the
// memory the picture readers may take for one picture.
inline constexpr uint64_t kMaxBackgroundPixels = 40'000'000;
inline constexpr int kPictureReaderLimit_MB = 256;

// The file dialog's pattern: BMP first, then every picture format the
// readers know ("*.bmp *.png *.jpg ...").
QString PicturePatterns();

// The new background of `card` from the picture file `path`. A 24-bit BMP
// of the camera's size goes in exactly as it always has; any other picture
// the readers can read is scaled to the camera picture with its aspect
// kept: the user picks fit (grey bars) or fill (crop) when the shapes
// differ. None when the user cancels that choice. A file that cannot be
// read, is too large or is cut short raises an error with a clear message.
std::optional<Bitmap> BackgroundPicture(Prompter& prompts, QWidget* owner, const QString& path,
                                        const RenderState& state, int32_t card);

} // namespace korvex
