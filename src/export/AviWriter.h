#pragma once

#include "framework/AtomicFile.h"
#include "framework/LocalException.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct iovec;

namespace korvex {

// A failure to write the output file (WriteFailedText) or to grow it beyond what
// the RIFF length field can hold (text::export_too_large):
// errors about the output rather than about the input being read.
class OutputError : public LocalException {
public:
    using LocalException::LocalException;
};

// A failure to read an input file (text::io_read_failed and its path), reported as it
// stands rather than wrapped like the errors about the file's content.
class InputReadError : public LocalException {
public:
    using LocalException::LocalException;
};

// Writes the joined AVI file: a 524-byte header with one MJPG video stream,
// the frame chunks of the "movi" list, then the "idx1" index. The bytes go
// to a temporary file beside the target; Commit completes the index and the
// header and puts the file in place. A writer destroyed before Commit leaves
// no file behind and any earlier file of the target's name untouched.
class AviWriter {
public:
    // `riffLimit` is the largest RIFF length the file may reach (the u32
    // field's range; tests pass smaller limits). A frame that would take the
    // file past it raises text::export_too_large.
    explicit AviWriter(const std::string& target, uint64_t riffLimit = 0xFFFFFFFFu);
    ~AviWriter();

    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // The picture size of the main header, stream header and format.
    void SetPictureSize(uint32_t width, uint32_t height);

    // Adds a frame chunk whose data stays valid and unchanged until the next
    // Flush or Commit (no copy is made).
    void AddFrameReference(const uint8_t* data, uint32_t size);

    // Adds a frame chunk by copying its data into the working buffer.
    void AddFrameCopy(const uint8_t* data, uint32_t size);

    // Adds a frame chunk that lies in the input file `inFd` (named `inPath`
    // for errors) at `chunkOffset`: its "00dc" head, `size` data bytes and,
    // when `padInFile`, a zero pad byte after odd data, all as the output
    // holds them. Runs of such chunks that follow each other in the input
    // are copied in one go inside the system, without passing through this
    // process (a plain read and write where the system refuses). The input
    // must stay open until the next Flush or Commit. A short input raises
    // InputReadError (text::io_read_failed).
    void AddFrameFromFile(int inFd, const std::string& inPath, uint64_t chunkOffset, uint32_t size,
                          bool padInFile);

    // Writes every frame added so far to the file.
    void Flush();

    // Writes the index, rewrites the header with the final counters, forces
    // the file to the disk and renames it over the target.
    void Commit();

    uint32_t Frames() const { return frames; }
    const std::string& Target() const { return file.Target(); }

    // The 524-byte header for the given picture size and counters.
    static std::array<uint8_t, 524> BuildHeader(uint32_t width, uint32_t height, uint32_t frames,
                                                uint32_t moviLength, uint32_t riffLength);

private:
    // Checks the chunk against the working buffer (text::export_frame_too_large) and the RIFF limit,
    // records its index entry and counts it; returns its 8-byte head.
    uint8_t* Account(uint32_t size);
    void WriteVector(struct iovec* parts, int count);
    // Writes the pending memory parts, or the pending input range.
    void WriteParts();
    void WriteRange();
    [[noreturn]] void WriteFailed(int error) const;

    AtomicFile file;
    int fd;
    uint64_t riffLimit;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t frames = 0;
    uint64_t moviLength = 4;
    uint64_t riffLength = 516;
    std::vector<uint8_t> index;

    // Frames waiting to be written: iovec parts, the chunk heads they point
    // to, and the working buffer that holds copied frames.
    std::unique_ptr<struct iovec[]> pending;
    int pendingParts = 0;
    std::vector<std::array<uint8_t, 8>> heads;
    size_t pendingHeads = 0;
    std::unique_ptr<uint8_t[]> working;
    size_t workingUsed = 0;
    size_t pendingReferenced = 0;

    // Input bytes waiting to be copied (at most one run at a time; memory
    // parts and a run are never pending together).
    int rangeFd = -1;
    std::string rangePath;
    uint64_t rangeOffset = 0;
    uint64_t rangeLength = 0;
    std::unique_ptr<uint8_t[]> copyBuffer; // for systems that refuse in-kernel copies

    uint64_t written = 0;       // bytes written to the file so far
    uint64_t startedToDisk = 0; // bytes whose disk writes have been started
};

} // namespace korvex
