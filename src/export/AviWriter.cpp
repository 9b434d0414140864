#include "export/AviWriter.h"

#include "export/AviFormat.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace korvex {

namespace {

// Frames per vectored write: three parts each (head, data, pad) stay below
// the system's limit of 1024 parts.
constexpr size_t kBatchFrames = 320;
constexpr int kMaxParts = 3 * kBatchFrames;

const uint8_t kZeroPad[1] = {0};

// Bytes of referenced frames gathered before they are written.
constexpr size_t kWriteReferencedAfter = 1024 * 1024;

// Bytes written before the disk writes of them are started.
constexpr uint64_t kStartWritesAfter = 4 * 1024 * 1024;

} // namespace

AviWriter::AviWriter(const std::string& target, uint64_t limit)
    : file(target), fd(fileno(file.Handle())), riffLimit(limit), pending(new iovec[kMaxParts]),
      heads(kBatchFrames), working(new uint8_t[kAviWorkingBuffer]) {
    auto header = BuildHeader(0, 0, 0, 4, 516);
    iovec part{header.data(), header.size()};
    WriteVector(&part, 1);
}

AviWriter::~AviWriter() = default;

std::array<uint8_t, 524> AviWriter::BuildHeader(uint32_t width, uint32_t height, uint32_t frames,
                                                uint32_t moviLength, uint32_t riffLength) {
    std::array<uint8_t, 524> h{};
    uint8_t* p = h.data();
    WriteCode(p + 0, "RIFF");
    WriteLe32(p + 4, riffLength);
    WriteCode(p + 8, "AVI ");
    WriteCode(p + 12, "LIST");
    WriteLe32(p + 16, 492);
    WriteCode(p + 20, "hdrl");
    WriteCode(p + 24, "avih");
    WriteLe32(p + 28, 56);
    WriteLe32(p + 32, 160000);  // microseconds per frame
    WriteLe32(p + 36, 1000000); // maximum bytes per second
    WriteLe32(p + 40, 0);       // padding granularity
    WriteLe32(p + 44, 0x10);    // has index
    WriteLe32(p + 48, frames);
    WriteLe32(p + 52, 0); // initial frames
    WriteLe32(p + 56, 1); // streams
    WriteLe32(p + 60, 0); // suggested buffer size
    WriteLe32(p + 64, width);
    WriteLe32(p + 68, height);
    WriteCode(p + 88, "LIST");
    WriteLe32(p + 92, 116);
    WriteCode(p + 96, "strl");
    WriteCode(p + 100, "strh");
    WriteLe32(p + 104, 56);
    WriteCode(p + 108, "vids");
    WriteCode(p + 112, "tavo");
    WriteLe32(p + 128, 160000);  // scale
    WriteLe32(p + 132, 1000000); // rate: 6.25 frames per second with the scale
    WriteLe32(p + 140, frames);
    WriteLe32(p + 148, 10000); // quality
    WriteLe16(p + 160, static_cast<uint16_t>(width));
    WriteLe16(p + 162, static_cast<uint16_t>(height));
    WriteCode(p + 164, "strf");
    WriteLe32(p + 168, 40);
    WriteLe32(p + 172, 40);
    WriteLe32(p + 176, width);
    WriteLe32(p + 180, height);
    WriteLe16(p + 184, 1);  // planes
    WriteLe16(p + 186, 24); // bits per pixel
    WriteCode(p + 188, "MJPG");
    WriteLe32(p + 192, width * height * 3);
    WriteCode(p + 212, "LIST");
    WriteLe32(p + 216, 260);
    WriteCode(p + 220, "odml");
    WriteCode(p + 224, "dmlh");
    WriteLe32(p + 228, 248);
    WriteLe32(p + 232, frames);
    WriteCode(p + 480, "JUNK");
    WriteLe32(p + 484, 24);
    WriteCode(p + 512, "LIST");
    WriteLe32(p + 516, moviLength);
    WriteCode(p + 520, "movi");
    return h;
}

void AviWriter::SetPictureSize(uint32_t w, uint32_t h) {
    width = w;
    height = h;
}

uint8_t* AviWriter::Account(uint32_t size) {
    uint64_t padded = PaddedChunkLength(size);
    if (padded > kAviWorkingBuffer)
        RaiseError(text::export_frame_too_large);
    // The index chunk still has to follow this frame.
    if (riffLength + padded + 8 + 16 * (uint64_t(frames) + 1) > riffLimit)
        throw OutputError(LoadTextA(text::export_too_large));
    if (pendingHeads == kBatchFrames || pendingParts + 3 > kMaxParts)
        Flush();

    uint8_t entry[16];
    WriteCode(entry, "00dc");
    WriteLe32(entry + 4, kAviKeyFrame);
    WriteLe32(entry + 8, static_cast<uint32_t>(riffLength + 8 - kAviMoviCodeOffset));
    WriteLe32(entry + 12, size);
    index.insert(index.end(), entry, entry + 16);

    ++frames;
    moviLength += padded;
    riffLength += padded;

    uint8_t* head = heads[pendingHeads++].data();
    WriteCode(head, "00dc");
    WriteLe32(head + 4, size);
    return head;
}

void AviWriter::AddFrameReference(const uint8_t* data, uint32_t size) {
    if (rangeLength > 0)
        WriteRange();
    uint8_t* head = Account(size);
    pending[pendingParts++] = iovec{head, 8};
    if (size > 0)
        pending[pendingParts++] = iovec{const_cast<uint8_t*>(data), size};
    if (size & 1)
        pending[pendingParts++] = iovec{const_cast<uint8_t*>(kZeroPad), 1};
    // Referenced frames go out about a megabyte at a time, while the bytes
    // just read are still in the processor's cache.
    pendingReferenced += size;
    if (pendingReferenced >= kWriteReferencedAfter)
        Flush();
}

void AviWriter::AddFrameCopy(const uint8_t* data, uint32_t size) {
    size_t padded = static_cast<size_t>(PaddedChunkLength(size));
    if (rangeLength > 0)
        WriteRange();
    if (padded <= kAviWorkingBuffer && workingUsed + padded > kAviWorkingBuffer)
        Flush();
    uint8_t* head = Account(size);
    uint8_t* chunk = working.get() + workingUsed;
    std::memcpy(chunk, head, 8);
    if (size > 0)
        std::memcpy(chunk + 8, data, size);
    if (size & 1)
        chunk[8 + size] = 0;
    workingUsed += padded;
    // The copied chunk carries its own head; the slot in `heads` stays unused.
    pending[pendingParts++] = iovec{chunk, padded};
}

void AviWriter::AddFrameFromFile(int inFd, const std::string& inPath, uint64_t chunkOffset, uint32_t size,
                                 bool padInFile) {
    if (pendingParts > 0)
        WriteParts();
    Account(size); // its head slot is not used: the head comes from the input
    const uint64_t inFile = 8 + uint64_t(size) + ((size & 1) && padInFile ? 1 : 0);
    if (rangeLength > 0 && (inFd != rangeFd || rangeOffset + rangeLength != chunkOffset))
        WriteRange();
    if (rangeLength == 0) {
        rangeFd = inFd;
        rangePath = inPath;
        rangeOffset = chunkOffset;
    }
    rangeLength += inFile;
    if ((size & 1) && !padInFile) {
        WriteRange();
        pending[pendingParts++] = iovec{const_cast<uint8_t*>(kZeroPad), 1};
    }
    if (pendingHeads == kBatchFrames || rangeLength >= kStartWritesAfter)
        Flush();
}

void AviWriter::WriteParts() {
    WriteVector(pending.get(), pendingParts);
    pendingParts = 0;
    pendingHeads = 0;
    workingUsed = 0;
    pendingReferenced = 0;
}

void AviWriter::WriteRange() {
    // In-kernel copy first: no pass through this process, and file systems
    // that share extents can share them.
    bool inKernel = true;
    while (rangeLength > 0) {
        if (inKernel) {
            loff_t from = loff_t(rangeOffset);
            ssize_t n = copy_file_range(rangeFd, &from, fd, nullptr, size_t(rangeLength), 0);
            if (n > 0) {
                rangeOffset += uint64_t(n);
                rangeLength -= uint64_t(n);
                written += uint64_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0)
                throw InputReadError(LoadTextA(text::io_read_failed) + rangePath + "'.");
            if (errno == ENOSPC || errno == EIO || errno == EFBIG || errno == EDQUOT)
                WriteFailed(errno);
            inKernel = false; // refused (other file system, no support): copy through a buffer
        }
        if (!copyBuffer)
            copyBuffer.reset(new uint8_t[kAviWorkingBuffer]);
        const size_t step = size_t(std::min<uint64_t>(rangeLength, kAviWorkingBuffer));
        ssize_t n = pread(rangeFd, copyBuffer.get(), step, off_t(rangeOffset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw InputReadError(LoadTextA(text::io_read_failed) + rangePath + "'.");
        iovec part{copyBuffer.get(), size_t(n)};
        WriteVector(&part, 1);
        rangeOffset += uint64_t(n);
        rangeLength -= uint64_t(n);
    }
    rangeFd = -1;
}

void AviWriter::Flush() {
    if (rangeLength > 0)
        WriteRange();
    WriteParts();
#ifdef __linux__
    // Start the disk writes of what is written so far, without waiting, so
    // that they overlap the reading of the next frames and the disk flush of
    // Commit has little left to do. A failure here changes nothing: Commit's
    // flush reports real write errors.
    if (written - startedToDisk >= kStartWritesAfter) {
        sync_file_range(fd, off64_t(startedToDisk), off64_t(written - startedToDisk), SYNC_FILE_RANGE_WRITE);
        startedToDisk = written;
    }
#endif
}

void AviWriter::WriteVector(iovec* parts, int count) {
    while (count > 0) {
        ssize_t n = writev(fd, parts, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            WriteFailed(errno);
        }
        written += static_cast<uint64_t>(n);
        size_t left = static_cast<size_t>(n);
        while (count > 0 && left >= parts->iov_len) {
            left -= parts->iov_len;
            ++parts;
            --count;
        }
        if (count > 0) {
            parts->iov_base = static_cast<uint8_t*>(parts->iov_base) + left;
            parts->iov_len -= left;
        }
    }
}

void AviWriter::Commit() {
    Flush();
    uint8_t indexHead[8];
    WriteCode(indexHead, "idx1");
    WriteLe32(indexHead + 4, static_cast<uint32_t>(index.size()));
    iovec parts[2] = {{indexHead, 8}, {index.data(), index.size()}};
    WriteVector(parts, index.empty() ? 1 : 2);
    riffLength += 8 + index.size();

    auto header = BuildHeader(width, height, frames, static_cast<uint32_t>(moviLength),
                              static_cast<uint32_t>(riffLength));
    const ssize_t n = pwrite(fd, header.data(), header.size(), 0);
    if (n != static_cast<ssize_t>(header.size()))
        WriteFailed(n < 0 ? errno : ENOSPC);
    file.Commit();
}

void AviWriter::WriteFailed(int error) const {
    throw OutputError(WriteFailedText(file.Target(), error));
}

} // namespace korvex
