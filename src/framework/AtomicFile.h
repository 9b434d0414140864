#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace korvex {

// The one way the program writes a file. The target must be a regular file
// or missing, in a folder that exists; a symbolic link is followed to the
// file it names (the link stays). Anything else, a device, a pipe (FIFO), a
// socket or a folder, a read-only file or folder, is refused before
// anything is written, with the path and the reason. The target itself is
// never opened, so a pipe without a reader cannot make a save wait.
//
// The bytes go to a temporary file in the target's folder (unnamed where
// the file system allows it); Commit checks every write, flushes the file
// to the disk, checks its closing and renames it over the target. Any
// failure, a full disk included, removes the temporary file and leaves the
// target as it was, raising a LocalException that names the path and why.
// A replaced file keeps its permissions (and owner where permitted); a new
// one gets the umask's permissions, which are never changed. Destroying an
// uncommitted AtomicFile leaves no file behind; temporaries of the same
// target left by a killed process are removed by the next Commit.
class AtomicFile {
public:
    // `unnamedTemporary` false forces a named temporary file even where the
    // file system offers unnamed ones (as on file systems without them).
    explicit AtomicFile(std::string target, bool unnamedTemporary = true);
    ~AtomicFile();

    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void Write(const void* buffer, size_t n);
    // The temporary file's stream, for writers that write through its
    // descriptor themselves; they report their own failures with
    // WriteFailedText.
    std::FILE* Handle() const { return file; }
    const std::string& Target() const { return target; }
    void Commit();
    void Discard();

    // Convenience: the whole content at once.
    static void WriteAll(const std::string& target, const void* data, size_t n);

private:
    [[noreturn]] void Fail(int error);

    std::string target;
    std::string finalPath; // the target with its links followed
    std::string folder;
    std::string prefix;    // ".NAME.tmp-" of temporary names
    std::string temporary; // named temporary, if any
    std::FILE* file = nullptr;
    int writeError = 0; // the first failed write's errno
    bool unnamed = false;
    bool committed = false;
};

// Why `path` cannot be written as a new file: the text id of the reason, 0
// when it can (a regular file that may be replaced, or nothing yet in a
// folder that may be written). Links are followed; nothing is opened.
unsigned WriteTargetProblem(const std::string& path);

// The message of a refused target (text::write_refused) and of a write
// that failed with `error` (an errno value; text::write_failed), each with
// the path and the reason in the user's language.
std::string WriteRefusedText(const std::string& path, unsigned reason);
std::string WriteFailedText(const std::string& path, int error);
// The same for a failure the system did not report: `reason` is a text id.
std::string WriteFailedBecause(const std::string& path, unsigned reason);

// The reason's text id for an errno value (0 when none fits).
unsigned WriteErrorReason(int error);

// Why a file of kind `mode` (st_mode) cannot be replaced by a written file:
// 0 for a regular file, else the text id (device, pipe, socket, folder).
unsigned FileKindProblem(unsigned mode);

} // namespace korvex
