#include "export/Export.h"

#include "export/AviFormat.h"
#include "export/AviReader.h"
#include "export/AviWriter.h"
#include "export/JpegReencoder.h"
#include "framework/BinaryFile.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace korvex {

std::string ExportJob::InputPath(size_t i) const {
    const std::string& name = files.at(i);
    if (folder.empty() || (!name.empty() && name[0] == '/'))
        return name;
    return folder + "/" + name;
}

void ExportJob::ChooseFiles(const std::vector<std::string>& paths) {
    folder.clear();
    files.clear();
    if (paths.empty())
        return;
    size_t slash = paths[0].find_last_of('/');
    if (slash != std::string::npos)
        folder = slash == 0 ? "/" : paths[0].substr(0, slash);
    for (const std::string& path : paths) {
        size_t s = path.find_last_of('/');
        std::string dir = s == std::string::npos ? "" : (s == 0 ? "/" : path.substr(0, s));
        if (dir == folder)
            files.push_back(s == std::string::npos ? path : path.substr(s + 1));
        else
            files.push_back(path);
    }
    if (folder == "/") {
        // Joining "/" and a name must not give "//name".
        for (std::string& f : files)
            if (f.empty() || f[0] != '/')
                f = "/" + f;
        folder.clear();
    }
}

namespace {

// Thrown through the parser when the job is abandoned; not an error.
struct JobCancelled {};

// One input file, read where the walk looks: chunk heads through a small
// buffer, frames only where they are re-encoded. Memory stays a small
// multiple of the largest frame whatever the file's size.
class InputFile : public AviSource {
public:
    void Open(const std::string& p) {
        path = p;
        file.Open(p, "rb"); // regular files only
        total = file.Size();
        fd = fileno(file.Handle());
        bufferStart = 0;
        bufferLength = 0;
    }

    void Close() { file.Close(); }

    int Descriptor() const { return fd; }
    const std::string& Path() const { return path; }
    uint64_t Size() const override { return total; }

    void Read(uint64_t offset, void* out, size_t n) override {
        uint8_t* to = static_cast<uint8_t*>(out);
        if (n >= kBlock) {
            ReadAt(offset, to, n);
            return;
        }
        if (offset < bufferStart || offset + n > bufferStart + bufferLength) {
            // Refill from `offset`: the walk moves forward, so what follows
            // is read next.
            const size_t length = size_t(std::min<uint64_t>(kBlock, total - std::min(total, offset)));
            if (length < n)
                Fail();
            ReadAt(offset, block, length);
            bufferStart = offset;
            bufferLength = length;
        }
        std::memcpy(to, block + (offset - bufferStart), n);
    }

private:
    static constexpr size_t kBlock = 64 * 1024;

    void ReadAt(uint64_t offset, uint8_t* to, size_t n) {
        while (n > 0) {
            ssize_t got = pread(fd, to, n, off_t(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                Fail();
            to += got;
            offset += uint64_t(got);
            n -= size_t(got);
        }
    }

    [[noreturn]] void Fail() const { throw InputReadError(LoadTextA(text::io_read_failed) + path + "'."); }

    BinaryFile file;
    std::string path;
    int fd = -1;
    uint64_t total = 0;
    uint8_t block[kBlock];
    uint64_t bufferStart = 0;
    size_t bufferLength = 0;
};

// The copy job: every frame chunk goes to the output as it lies in the
// input, runs of them copied inside the system.
class CopyFrames : public AviFrameSink {
public:
    CopyFrames(AviWriter& writer, InputFile& input, const std::function<bool()>& cancelled)
        : writer(writer), input(input), cancelled(cancelled) {}

    void OnMainHeader(uint32_t width, uint32_t height) override { writer.SetPictureSize(width, height); }

    void OnFrameAt(uint64_t offset, uint32_t size) override {
        if (cancelled && cancelled())
            throw JobCancelled{};
        if (size > kAviWorkingBuffer)
            RaiseError(text::export_frame_too_large);
        // The output pads odd frames with a zero byte; the input's own pad
        // byte is copied only when it is there and zero.
        bool padInFile = false;
        if (size & 1) {
            const uint64_t pad = offset + size;
            if (pad < input.Size()) {
                uint8_t byte = 1;
                input.Read(pad, &byte, 1);
                padInFile = byte == 0;
            }
        }
        writer.AddFrameFromFile(input.Descriptor(), input.Path(), offset - 8, size, padInFile);
    }

private:
    AviWriter& writer;
    InputFile& input;
    const std::function<bool()>& cancelled;
};

// Re-encodes frames on several threads while the walk goes on, and hands
// the results to the writer strictly in frame order, so the output is the
// same as one thread would write. At most `window` frames are held at any
// time; Submit waits for the oldest to be written when all are taken.
class ReencodePipeline {
public:
    ReencodePipeline(unsigned threads, AviWriter& writer, const std::function<bool()>& cancelled)
        : window(threads > 1 ? 4 * threads : 1), writer(writer), cancelled(cancelled) {
        slots.resize(window);
        for (Slot& s : slots)
            s.output.reset(new uint8_t[kJpegOutputBuffer]);
        if (threads > 1)
            for (unsigned i = 0; i < threads; ++i)
                workers.emplace_back(&ReencodePipeline::Work, this);
    }

    ~ReencodePipeline() {
        {
            std::lock_guard<std::mutex> guard(lock);
            abort = true;
        }
        workAvailable.notify_all();
        for (std::thread& t : workers)
            t.join();
    }

    // Frame `size` bytes at `offset` of `input`: read into a free slot and
    // queued (encoded at once when there are no worker threads).
    void Submit(InputFile& input, uint64_t offset, uint32_t size) {
        if (cancelled && cancelled())
            throw JobCancelled{};
        if (submitted - done == window)
            WriteOldest();
        Slot& slot = slots[submitted % window];
        slot.input.resize(size);
        if (size > 0)
            input.Read(offset, slot.input.data(), size);
        if (workers.empty()) {
            Encode(encoder, slot);
            ++submitted;
            WriteOldest();
            return;
        }
        {
            std::lock_guard<std::mutex> guard(lock);
            slot.ready = false;
            ++submitted;
        }
        workAvailable.notify_one();
    }

    // Writes every frame submitted so far, in order.
    void Drain() {
        while (done < submitted) {
            if (cancelled && cancelled())
                throw JobCancelled{};
            WriteOldest();
        }
    }

private:
    struct Slot {
        std::vector<uint8_t> input;
        std::unique_ptr<uint8_t[]> output;
        size_t size = 0;
        bool ready = false;
        bool failed = false;
        std::string error;
    };

    static void Encode(JpegReencoder& encoder, Slot& slot) {
        try {
            slot.size = encoder.Reencode(slot.input.data(), slot.input.size(), slot.output.get());
            slot.failed = false;
        } catch (const std::exception& e) {
            slot.failed = true;
            slot.error = e.what();
        }
    }

    void WriteOldest() {
        Slot& slot = slots[done % window];
        if (!workers.empty()) {
            std::unique_lock<std::mutex> guard(lock);
            resultReady.wait(guard, [&] { return slot.ready; });
        }
        ++done;
        if (slot.failed)
            throw LocalException(slot.error);
        writer.AddFrameCopy(slot.output.get(), static_cast<uint32_t>(slot.size));
    }

    void Work() {
        JpegReencoder own;
        for (;;) {
            size_t k;
            {
                std::unique_lock<std::mutex> guard(lock);
                workAvailable.wait(guard, [&] { return abort || next < submitted; });
                if (abort)
                    return;
                k = next++;
            }
            Slot& slot = slots[k % window];
            Encode(own, slot);
            {
                std::lock_guard<std::mutex> guard(lock);
                slot.ready = true;
            }
            resultReady.notify_all();
        }
    }

    size_t window;
    AviWriter& writer;
    const std::function<bool()>& cancelled;
    JpegReencoder encoder;
    std::vector<Slot> slots;
    std::vector<std::thread> workers;
    std::mutex lock;
    std::condition_variable workAvailable;
    std::condition_variable resultReady;
    size_t submitted = 0; // frames handed in (guarded by `lock` while workers run)
    size_t next = 0;      // next frame a worker takes
    size_t done = 0;      // frames written
    bool abort = false;
};

// The re-encode job: frames go into the pipeline as the walk finds them.
class ReencodeFrames : public AviFrameSink {
public:
    ReencodeFrames(AviWriter& writer, InputFile& input, ReencodePipeline& pipeline)
        : writer(writer), input(input), pipeline(pipeline) {}
    void OnMainHeader(uint32_t width, uint32_t height) override { writer.SetPictureSize(width, height); }
    void OnFrameAt(uint64_t offset, uint32_t size) override { pipeline.Submit(input, offset, size); }

private:
    AviWriter& writer;
    InputFile& input;
    ReencodePipeline& pipeline;
};

std::string SuggestedName() {
    std::string name = LoadTextA(text::filter_export_file_name);
    // The save dialog's initial name holds at most 259 characters (UTF-8:
    // cut before the first byte of the 260th).
    size_t characters = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80 && ++characters > 259) {
            name.resize(i);
            break;
        }
    }
    return name;
}

} // namespace

ExportResult Export(ExportJob& job, ExportSink& sink, const ExportOptions& options) {
    ExportResult result;
    if (job.files.empty())
        return result;
    if (!sink.AskOutputPath(SuggestedName(), job.outputPath)) {
        result.outcome = ExportOutcome::OutputDeclined;
        return result;
    }

    unsigned threads = options.threads;
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());

    AviWriter writer(job.outputPath);
    std::unique_ptr<InputFile> input = std::make_unique<InputFile>();
    std::unique_ptr<ReencodePipeline> pipeline;
    if (options.reencode)
        pipeline = std::make_unique<ReencodePipeline>(threads, writer, options.cancelled);
    const size_t n = job.files.size();
    try {
        for (size_t i = 0; i < n; ++i) {
            const std::string path = job.InputPath(i);
            sink.ShowStatus(LoadTextA(text::export_exporting));
            sink.ShowProgress(static_cast<unsigned>(i * 100 / n));
            sink.ShowFile(i, n, path);
            input->Open(path);
            try {
                if (!options.reencode) {
                    CopyFrames copy(writer, *input, options.cancelled);
                    WalkAvi(*input, copy);
                } else {
                    // A container error is reported only after the frames
                    // found before it, as a frame-by-frame walk would.
                    ReencodeFrames reencode(writer, *input, *pipeline);
                    std::exception_ptr parseError;
                    try {
                        WalkAvi(*input, reencode);
                    } catch (const InputReadError&) {
                        throw;
                    } catch (const JobCancelled&) {
                        throw;
                    } catch (const std::exception&) {
                        parseError = std::current_exception();
                    }
                    pipeline->Drain();
                    if (parseError)
                        std::rethrow_exception(parseError);
                }
                // Runs copied from this input are written before it closes.
                writer.Flush();
            } catch (const OutputError&) {
                throw;
            } catch (const InputReadError&) {
                throw;
            } catch (const std::exception& e) {
                RaiseMessage(LoadTextA(text::io_read_failed) + path + "'.\n" + e.what());
            }
            input->Close();
        }
        writer.Commit();
    } catch (const JobCancelled&) {
        result.outcome = ExportOutcome::Cancelled;
        result.frames = 0;
        return result;
    }
    result.outcome = ExportOutcome::Written;
    result.frames = writer.Frames();
    return result;
}

} // namespace korvex
