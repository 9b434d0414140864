#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace korvex {

// The length of an MP4 file in seconds, from its movie header (the "mvhd"
// box inside "moov"); nothing for a file that is not MP4, is cut short or
// holds a header whose sizes do not add up.
std::optional<double> Mp4DurationSeconds(const QString& path);

// "1.2 MB, 0:15" for a recording copied to `path` (size, length); the
// length part says it is unknown when the file gives none. Empty when the
// file does not exist.
QString RecordingFacts(const QString& path);

} // namespace korvex
