#include "export/Export.h"

#include "export/AviFormat.h"
#include "export/AviReader.h"
#include "export/AviWriter.h"
#include "export/JpegReencoder.h"
#include "framework/BinaryFile.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>

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

struct FrameRef {
    const uint8_t* data;
    uint32_t size;
};

// A failure to read an input file; reported as it stands rather than
// wrapped like the errors about the file's content.
class InputReadError : public LocalException {
public:
    using LocalException::LocalException;
};

// One input file at a time, read whole into a buffer that is kept for the
// next file, so that memory stays at the largest input rather than growing
// with each. The bytes arrive a step at a time as the reader walks forward,
// so that the copy job writes each frame while it is still in the
// processor's cache.
class InputFile {
public:
    // Opens the file and makes room for all of it; returns the buffer.
    const uint8_t* Open(const std::string& path, size_t& size) {
        file.Open(path, "rb");
        // A folder or a device opens but has no length to read.
        struct stat info;
        if (fstat(fileno(file.Handle()), &info) != 0 || !S_ISREG(info.st_mode))
            RaiseMessage(LoadTextA(254) + path + "'.");
        uint64_t length = file.Size();
        if (length > SIZE_MAX)
            RaiseMessage(LoadTextA(254) + path + "'.");
        total = static_cast<size_t>(length);
        if (total > capacity) {
            data.reset();
            capacity = 0;
            data.reset(new uint8_t[total]);
            capacity = total;
        }
        loaded = 0;
        size = total;
        return data.get();
    }

    // Makes sure the bytes before `end` have been read.
    void Need(size_t end) {
        if (end <= loaded)
            return;
        size_t target = std::min(total, std::max(end, loaded + kReadStep));
        try {
            file.Read(data.get() + loaded, target - loaded);
        } catch (const LocalException& e) {
            throw InputReadError(e.message);
        }
        loaded = target;
    }

    // Reads what the walk did not need, so the file is always read whole,
    // and closes it.
    void Finish() {
        Need(total);
        file.Close();
    }

private:
    static constexpr size_t kReadStep = 1024 * 1024;

    BinaryFile file;
    std::unique_ptr<uint8_t[]> data;
    size_t capacity = 0;
    size_t total = 0;
    size_t loaded = 0;
};

// The copy job: every frame goes to the output as it is found.
class CopyFrames : public AviInputSink {
public:
    CopyFrames(AviWriter& writer, InputFile& input, const std::function<bool()>& cancelled)
        : writer(writer), input(input), cancelled(cancelled) {}

    void OnMainHeader(uint32_t width, uint32_t height) override { writer.SetPictureSize(width, height); }

    void OnFrame(const uint8_t* data, uint32_t size) override {
        if (cancelled && cancelled())
            throw JobCancelled{};
        writer.AddFrameReference(data, size);
    }

    void Need(size_t end) override { input.Need(end); }

private:
    AviWriter& writer;
    InputFile& input;
    const std::function<bool()>& cancelled;
};

// The re-encode job collects a file's frames first so that they can be
// worked on in parallel.
class CollectFrames : public AviInputSink {
public:
    CollectFrames(AviWriter& writer, InputFile& input) : writer(writer), input(input) {}

    void OnMainHeader(uint32_t width, uint32_t height) override { writer.SetPictureSize(width, height); }
    void OnFrame(const uint8_t* data, uint32_t size) override { frames.push_back({data, size}); }
    void Need(size_t end) override { input.Need(end); }

    std::vector<FrameRef> frames;

private:
    AviWriter& writer;
    InputFile& input;
};

// Re-encodes the frames of one file on several threads and hands the
// results to the writer strictly in frame order, so the output is the same
// as one thread would write. At most `window` results wait at any time.
class ReencodePipeline {
public:
    explicit ReencodePipeline(unsigned threads) : threads(threads), window(4 * threads) {
        slots.resize(window);
        for (Slot& s : slots)
            s.data.reset(new uint8_t[kJpegOutputBuffer]);
    }

    void Run(const std::vector<FrameRef>& frames, AviWriter& writer, const std::function<bool()>& cancelled) {
        {
            std::lock_guard<std::mutex> guard(lock);
            work = &frames;
            next = 0;
            written = 0;
            abort = false;
            for (Slot& s : slots)
                s.ready = false;
        }
        std::vector<std::thread> workers;
        struct Joiner {
            ReencodePipeline& p;
            std::vector<std::thread>& w;
            ~Joiner() {
                {
                    std::lock_guard<std::mutex> guard(p.lock);
                    p.abort = true;
                }
                p.workAvailable.notify_all();
                for (std::thread& t : w)
                    t.join();
            }
        } joiner{*this, workers};
        for (unsigned i = 0; i < threads; ++i)
            workers.emplace_back(&ReencodePipeline::Work, this);

        for (size_t k = 0; k < frames.size(); ++k) {
            if (cancelled && cancelled())
                throw JobCancelled{};
            Slot& slot = slots[k % window];
            {
                std::unique_lock<std::mutex> guard(lock);
                resultReady.wait(guard, [&] { return slot.ready; });
                slot.ready = false;
            }
            if (slot.failed)
                throw LocalException(slot.error);
            writer.AddFrameCopy(slot.data.get(), static_cast<uint32_t>(slot.size));
            {
                std::lock_guard<std::mutex> guard(lock);
                written = k + 1;
            }
            workAvailable.notify_all();
        }
    }

private:
    struct Slot {
        std::unique_ptr<uint8_t[]> data;
        size_t size = 0;
        bool ready = false;
        bool failed = false;
        std::string error;
    };

    void Work() {
        JpegReencoder encoder;
        for (;;) {
            size_t k;
            {
                std::unique_lock<std::mutex> guard(lock);
                workAvailable.wait(guard,
                                   [&] { return abort || next >= work->size() || next < written + window; });
                if (abort || next >= work->size())
                    return;
                k = next++;
            }
            Slot& slot = slots[k % window];
            const FrameRef& frame = (*work)[k];
            try {
                slot.size = encoder.Reencode(frame.data, frame.size, slot.data.get());
                slot.failed = false;
            } catch (const std::exception& e) {
                slot.failed = true;
                slot.error = e.what();
            }
            {
                std::lock_guard<std::mutex> guard(lock);
                slot.ready = true;
            }
            resultReady.notify_all();
        }
    }

    unsigned threads;
    size_t window;
    std::vector<Slot> slots;
    std::mutex lock;
    std::condition_variable workAvailable;
    std::condition_variable resultReady;
    const std::vector<FrameRef>* work = nullptr;
    size_t next = 0;
    size_t written = 0;
    bool abort = false;
};

void ReencodeInOrder(const std::vector<FrameRef>& frames, AviWriter& writer,
                     const std::function<bool()>& cancelled, uint8_t* buffer) {
    JpegReencoder encoder;
    for (const FrameRef& frame : frames) {
        if (cancelled && cancelled())
            throw JobCancelled{};
        size_t size = encoder.Reencode(frame.data, frame.size, buffer);
        writer.AddFrameCopy(buffer, static_cast<uint32_t>(size));
    }
}

std::string SuggestedName() {
    std::string name = LoadTextA(206);
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
    std::unique_ptr<ReencodePipeline> pipeline;
    std::unique_ptr<uint8_t[]> single;
    if (options.reencode) {
        if (threads > 1)
            pipeline = std::make_unique<ReencodePipeline>(threads);
        else
            single.reset(new uint8_t[kJpegOutputBuffer]);
    }

    AviWriter writer(job.outputPath);
    InputFile input;
    const size_t n = job.files.size();
    try {
        for (size_t i = 0; i < n; ++i) {
            const std::string path = job.InputPath(i);
            sink.ShowStatus(LoadTextA(207));
            sink.ShowProgress(static_cast<unsigned>(i * 100 / n));
            sink.ShowFile(i, n, path);
            size_t size = 0;
            const uint8_t* data = input.Open(path, size);
            try {
                if (!options.reencode) {
                    CopyFrames copy(writer, input, options.cancelled);
                    ParseAvi(data, size, copy);
                    input.Finish();
                } else {
                    // A container error is reported only after the frames
                    // found before it, as a frame-by-frame walk would.
                    CollectFrames collect(writer, input);
                    std::exception_ptr parseError;
                    try {
                        ParseAvi(data, size, collect);
                    } catch (const InputReadError&) {
                        throw;
                    } catch (const std::exception&) {
                        parseError = std::current_exception();
                    }
                    input.Finish();
                    if (pipeline)
                        pipeline->Run(collect.frames, writer, options.cancelled);
                    else
                        ReencodeInOrder(collect.frames, writer, options.cancelled, single.get());
                    if (parseError)
                        std::rethrow_exception(parseError);
                }
            } catch (const OutputError&) {
                throw;
            } catch (const InputReadError&) {
                throw;
            } catch (const std::exception& e) {
                RaiseMessage(LoadTextA(254) + path + "'.\n" + e.what());
            }
            // Frames of the copy job point into the input buffer, which the
            // next file reuses.
            writer.Flush();
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
