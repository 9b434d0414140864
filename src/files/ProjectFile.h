#pragma once

#include "model/Document.h"
#include "model/RenderState.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvex {

// The project file: chunk 2 (render state), chunk 7 (composer lists) and
// chunk 11 (the configuration package), little-endian chunk lists all the
// way down. The same file is the device's program file.

// The most detectors a state holds: 32 numbers on each of the 8 cards. A
// file with more is refused when read, a state with more when saved.
inline constexpr size_t kMaxDetectors = 8 * 32;

// Payload of chunk 2: the size first, then the detectors, then the
// backgrounds. A background whose size is not the canvas size is stored as
// it shows on the canvas: placed at the origin of a white canvas-size
// picture, cut at the canvas edges.
std::vector<uint8_t> RenderStatePayload(const RenderState& state);

// Payload of chunk 7: the Y rows, the Z rows, the card rows.
std::vector<uint8_t> ComposerListsPayload(const RenderState& state);

// The whole file for `state` saved under `path` (the package alias comes
// from it). Raises when the package cannot be built or the state holds a
// value that reading would reject (text::file_value_unsaveable).
std::vector<uint8_t> ProjectFileBytes(const RenderState& state, const std::string& path);

// Raises text::file_value_unsaveable when `state` holds a value that a saved file could not
// be read back with: more than kMaxDetectors detectors, a picture size other than 180/192/240 x 144 or
// 320 x 240, a detector field out of its stored range, more than 8
// backgrounds, composer lists longer than the file allows, or an item
// reading would reject.
void CheckSavable(const RenderState& state);

// What reading a file had to leave out. A chunk list is read up to a chunk
// that runs past the end of its list (a file cut short, most often) and
// what came before is kept; such a file reads, but not whole, and saving
// what was read over it would make the loss permanent.
struct ReadGaps {
    // Text numbers of the parts not (wholly) read, in file order, each
    // once: text::file_part_detectors (detectors and camera pictures),
    // file_part_expressions, file_part_package, file_part_end (the end of the file).
    std::vector<unsigned> parts;
    uint64_t unreadBytes = 0; // at the end of the file

    bool Complete() const { return parts.empty(); }
    void Add(unsigned part);
};

// "The file PATH is incomplete (...): ... could not be read whole."
// (text::file_incomplete) naming the parts of `gaps`.
std::string IncompleteFileText(const std::string& path, const ReadGaps& gaps);
// The parts of `gaps` as one list ("the output expressions, the end of the
// file").
std::string UnreadPartsText(const ReadGaps& gaps);

// Parses a project file. Returns none on any rule broken (the caller turns
// that into error 242); a colour background inside a 180-wide state raises
// the bitmap range error instead, as the picture cannot hold it. `gaps`,
// when given, learns what a successful read left out.
std::optional<RenderState> ParseProject(const uint8_t* data, size_t size, ReadGaps* gaps = nullptr);

// The largest project file read or written. The largest state a file can
// hold (every detector with a whole exclusion map, eight colour pictures,
// the package) takes about 63 MB; a state whose file would be larger is not
// saved, and a larger file is refused from its size before any of it is
// read, so a huge file costs a reader no memory.
inline constexpr uint64_t kMaxProjectFileBytes = uint64_t(64) << 20;

// A project file as read, with the verdict on it: `gaps` says what the
// read had to leave out (nothing for a complete file).
struct ProjectRead {
    RenderState state;
    ReadGaps gaps;
};

// The one way in for project files: opens a regular file only (never
// waiting on a FIFO or device), refuses one larger than
// kMaxProjectFileBytes from its size (text::file_too_large), reads and
// parses it. Raises the file errors (text::io_open_failed,
// text::io_read_failed) or text::project_invalid_file. A file read only in
// part comes back with its gaps: the caller decides, and says, what to do
// with it (describe it, refuse it, or go on when told to).
ProjectRead ReadProjectFile(const std::string& path);

// The same for readers that need the whole project (compare, report,
// render, drift, edits saved back): a file read only in part raises
// IncompleteFileText.
RenderState LoadProject(const std::string& path);

// Raises IncompleteFileText when `gaps` names anything not read.
void RequireComplete(const std::string& path, const ReadGaps& gaps);

// Document::Save: builds every payload first, then writes them to a
// temporary file beside `path` that is flushed to the disk and renamed
// over it. On any failure the previous file, `path` and `modified` stay as
// they were. On success the document records the path and is unmodified.
void SaveProject(Document& document, const std::string& path);

// Document::Open through LoadProject: on success the history is replaced
// by the loaded state; on failure (file errors, an incomplete file,
// text::project_invalid_file, range error) the document is untouched.
void OpenProject(Document& document, const std::string& path);

} // namespace korvex
