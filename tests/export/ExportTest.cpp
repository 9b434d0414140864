#include "export/Export.h"

#include "export/AviFormat.h"
#include "export/AviReader.h"
#include "export/AviTestData.h"
#include "export/AviWriter.h"
#include "export/LibavReader.h"
#include "export/RecordingSink.h"
#include "framework/LocalException.h"

#include <filesystem>
#include <sys/resource.h>
#include <gtest/gtest.h>

namespace korvex::test {
namespace {

struct Parsed : AviInputSink {
    uint32_t width = 0, height = 0;
    std::vector<Bytes> frames;
    void OnMainHeader(uint32_t w, uint32_t h) override { width = w, height = h; }
    void OnFrame(const uint8_t* d, uint32_t s) override { frames.emplace_back(d, d + s); }
};

Parsed ParseFile(const std::string& path) {
    Bytes f = ReadFile(path);
    Parsed p;
    ParseAvi(f.data(), f.size(), p);
    return p;
}

std::vector<Bytes> Join(std::vector<Bytes> a, const std::vector<Bytes>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override { InstallNumberedTexts(); }

    // Writes recordings named 0.avi, 1.avi, ... and puts them in the job.
    void AddInputs(const std::vector<Bytes>& files) {
        std::vector<std::string> paths;
        for (size_t i = 0; i < files.size(); ++i) {
            paths.push_back(folder / (std::to_string(i) + ".avi"));
            WriteFile(paths.back(), files[i]);
        }
        job.ChooseFiles(paths);
    }

    // Runs the export and returns the error text ("" on success).
    std::string Run(bool reencode, unsigned threads = 0) {
        ExportOptions options;
        options.reencode = reencode;
        options.threads = threads;
        try {
            result = Export(job, sink, options);
        } catch (const LocalException& e) {
            return e.what();
        }
        return "";
    }

    TempDir folder{"korvex-export"};
    ExportJob job;
    RecordingSink sink{folder / "joined.avi"};
    ExportResult result;
};

TEST_F(ExportTest, CopyJoinsTwoRecorderFilesThatAnIndependentReaderAccepts) {
    std::vector<Bytes> first = MakeFrames(100, 320, 240), second = MakeFrames(50, 320, 240, 100);
    AddInputs(
        {MakeRecording(first, {320, 240, true, true}), MakeRecording(second, {320, 240, false, false})});

    ASSERT_EQ(Run(false), "");
    EXPECT_EQ(result.outcome, ExportOutcome::Written);
    EXPECT_EQ(result.frames, 150u);
    EXPECT_EQ(sink.progress, (std::vector<unsigned>{0, 50}));
    EXPECT_EQ(sink.statuses, (std::vector<std::string>{"E207", "E207"}));
    EXPECT_EQ(sink.suggestedName, "E206");
    EXPECT_EQ(sink.filesShown, (std::vector<std::string>{folder / "0.avi", folder / "1.avi"}));

    // Our reader: the frames unchanged and in order, the counters and index.
    std::string out = folder / "joined.avi";
    Parsed p = ParseFile(out);
    EXPECT_EQ(p.width, 320u);
    EXPECT_EQ(p.height, 240u);
    EXPECT_EQ(p.frames, Join(first, second));
    Bytes f = ReadFile(out);
    EXPECT_EQ(ReadLe32(f.data() + 48), 150u);
    EXPECT_EQ(ReadLe32(f.data() + 140), 150u);
    EXPECT_EQ(ReadLe32(f.data() + 232), 150u);
    EXPECT_EQ(ReadLe32(f.data() + f.size() - 2400 - 4), 2400u); // idx1 length

    LibavReport report = ReadWithLibav(out);
    ASSERT_TRUE(report.opened);
    EXPECT_EQ(report.streams, 1u);
    EXPECT_TRUE(report.mjpeg);
    EXPECT_EQ(report.width, 320);
    EXPECT_EQ(report.height, 240);
    EXPECT_EQ(report.packets, 150u);
    EXPECT_EQ(report.decoded, 150u);
    EXPECT_EQ(report.failures, 0u);
}

TEST_F(ExportTest, ReencodeTurnsGreyIntoColourAndAnIndependentReaderDecodesEveryFrame) {
    std::vector<Bytes> frames = MakeFrames(6, 160, 120);
    frames[2] = MakeJpeg(160, 120, 1, 3); // a grey frame
    frames[4] = MakeJpeg(160, 120, 1, 4);
    AddInputs({MakeRecording(frames, {160, 120, true, true})});

    ASSERT_EQ(Run(true), "");
    std::string out = folder / "joined.avi";
    Parsed p = ParseFile(out);
    ASSERT_EQ(p.frames.size(), frames.size());
    for (const Bytes& frame : p.frames) {
        JpegInfo info = InspectJpeg(frame.data(), frame.size());
        EXPECT_EQ(info.components, 3);
        EXPECT_EQ(info.width, 160);
        EXPECT_EQ(info.height, 120);
    }
    LibavReport report = ReadWithLibav(out);
    EXPECT_TRUE(report.mjpeg);
    EXPECT_EQ(report.streams, 1u);
    EXPECT_EQ(report.packets, frames.size());
    EXPECT_EQ(report.decoded, frames.size());
}

TEST_F(ExportTest, ParallelReencodeWritesTheSameBytesAsOneThread) {
    std::vector<Bytes> a = MakeFrames(37, 96, 64), b = MakeFrames(5, 96, 64, 50);
    b[1] = MakeJpeg(96, 64, 1, 8);
    AddInputs({MakeRecording(a), MakeRecording(b), MakeRecording({})});
    std::vector<Bytes> outputs;
    for (unsigned threads : {1u, 2u, 3u}) {
        ASSERT_EQ(Run(true, threads), "") << threads;
        outputs.push_back(ReadFile(folder / "joined.avi"));
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_EQ(outputs[0], outputs[2]);
    EXPECT_EQ(ParseFile(folder / "joined.avi").frames.size(), 42u);
}

TEST_F(ExportTest, ErrorInAnyInputNamesTheFileAndLeavesNoOutput) {
    Bytes good = MakeRecording(MakeFrames(3, 32, 32));
    Bytes wave = good;
    std::copy_n("WAVE", 4, wave.begin() + 8);
    Bytes truncated(good.begin(), good.end() - 10);
    std::vector<Bytes> badFrames = MakeFrames(4, 32, 32);
    badFrames[2] = Bytes(500, 0x42);
    Bytes undecodable = MakeRecording(badFrames);
    Bytes huge = MakeRecording({Bytes(kAviWorkingBuffer, 1)});

    struct Case {
        Bytes bad;
        bool reencode;
        unsigned threads;
        std::string inner;
    };
    std::vector<Case> cases = {{wave, false, 1, "E251"},       {truncated, false, 1, "E245"},
                               {truncated, true, 2, "E245"},   {undecodable, true, 1, "E247"},
                               {undecodable, true, 2, "E247"}, {undecodable, false, 1, ""},
                               {huge, false, 1, "E250"}};
    std::string out = folder / "joined.avi";
    for (const Case& c : cases) {
        WriteFile(out, Bytes{'k', 'e', 'e', 'p'});
        AddInputs({good, c.bad, good});
        std::string error = Run(c.reencode, c.threads);
        if (c.inner.empty()) {
            EXPECT_EQ(error, ""); // the copy job does not look inside frames
            continue;
        }
        EXPECT_EQ(error, "cannot read '" + folder / "1.avi" + "'.\n" + c.inner);
        EXPECT_EQ(ReadFile(out), (Bytes{'k', 'e', 'e', 'p'})) << c.inner;
        EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"0.avi", "1.avi", "2.avi", "joined.avi"}));
    }

    // Without an earlier file nothing at all is left.
    std::remove(out.c_str());
    AddInputs({good, wave});
    EXPECT_NE(Run(false), "");
    EXPECT_FALSE(FileExists(out));
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"0.avi", "1.avi", "2.avi"}));
}

TEST_F(ExportTest, UnreadableInputIsAFileErrorNotAContainerError) {
    AddInputs({MakeRecording(MakeFrames(2, 16, 16))});
    job.files.push_back("absent.avi");
    EXPECT_EQ(Run(false), "cannot open '" + folder / "absent.avi" + "'.");
    EXPECT_FALSE(FileExists(folder / "joined.avi"));

    // A folder is no file to read: refused as it is opened.
    std::filesystem::create_directory(folder / "folder.avi");
    job.files.back() = "folder.avi";
    EXPECT_EQ(Run(true), "cannot open '" + folder / "folder.avi" + "'.");
    EXPECT_FALSE(FileExists(folder / "joined.avi"));
}

// What the copy job must write: every frame found by the in-memory walk,
// each copied into a fresh writer.
Bytes ReferenceCopy(const std::vector<Bytes>& inputs, const std::string& path) {
    struct Collect : AviInputSink {
        AviWriter& writer;
        explicit Collect(AviWriter& w) : writer(w) {}
        void OnMainHeader(uint32_t w, uint32_t h) override { writer.SetPictureSize(w, h); }
        void OnFrame(const uint8_t* d, uint32_t s) override { writer.AddFrameCopy(d, s); }
    };
    {
        AviWriter writer(path);
        for (const Bytes& input : inputs) {
            Collect collect(writer);
            ParseAvi(input.data(), input.size(), collect);
        }
        writer.Commit();
    }
    return ReadFile(path);
}

TEST_F(ExportTest, CopiedRunsGiveTheBytesOfFrameByFrameCopying) {
    // Odd frames with zero, non-zero and missing pad bytes, frames in runs
    // and frames parted by other chunks: the in-system copy of runs must
    // write what copying each frame's data would.
    Bytes odd = MakeJpeg(16, 16, 3, 1);
    if (odd.size() % 2 == 0)
        odd.push_back(0xD9);
    Bytes even = MakeJpeg(16, 16, 3, 2);
    if (even.size() % 2 == 1)
        even.push_back(0xD9);
    Bytes withJunkPad = Chunk("00dc", odd);
    withJunkPad.back() = 0x5A; // a recorder's pad byte need not be zero
    Bytes lastNoPad = ChunkWithLength("00dc", uint32_t(odd.size()), odd);
    lastNoPad.pop_back();
    std::vector<Bytes> inputs = {
        MakeRecording(MakeFrames(30, 64, 48), {64, 48, false, false}),
        MakeRecording(MakeFrames(20, 64, 48, 5), {64, 48, true, true}),
        Riff("AVI ", {List("hdrl", {MainHeader(16, 16, 4)}),
                      List("movi", {Chunk("00dc", odd), Chunk("00dc", even), withJunkPad, Chunk("00dc", {}),
                                    Chunk("00dc", odd)})}),
    };
    // A file whose last frame's pad byte is cut off by the end of the file.
    Bytes cut = Riff("AVI ", {List("hdrl", {MainHeader(16, 16, 2)}), List("movi", {Chunk("00dc", even)})});
    Bytes tail = Bytes{'0', '0', 'd', 'c', 0, 0, 0, 0};
    WriteLe32(tail.data() + 4, uint32_t(odd.size()));
    tail.insert(tail.end(), odd.begin(), odd.end());
    WriteLe32(cut.data() + 4, uint32_t(cut.size() - 8 + tail.size()));
    const size_t moviAt = cut.size() - Chunk("00dc", even).size() - 12;
    WriteLe32(cut.data() + moviAt + 4, ReadLe32(cut.data() + moviAt + 4) + uint32_t(tail.size()));
    cut.insert(cut.end(), tail.begin(), tail.end());
    inputs.push_back(cut);

    AddInputs(inputs);
    ASSERT_EQ(Run(false), "");
    EXPECT_EQ(result.frames, 30u + 20u + 5u + 2u);
    EXPECT_EQ(ReadFile(folder / "joined.avi"), ReferenceCopy(inputs, folder / "reference.avi"));
}

TEST_F(ExportTest, AHugeInputIsReadAsItGoes) {
    // Two gigabytes, nearly all of it a hole in a skipped chunk, around a
    // few frames: the export reads the chunk heads and copies the frames,
    // so it ends quickly and with the same bytes as from memory.
    std::vector<Bytes> frames = MakeFrames(3, 32, 32);
    Bytes head = Riff("AVI ", {List("hdrl", {MainHeader(32, 32, 3)}),
                               List("movi", {Chunk("00dc", frames[0]), Chunk("00dc", frames[1])})});
    const uint64_t hole = (uint64_t(2) << 30) - 4096;
    Bytes last = Chunk("00dc", frames[2]);
    // The movi list grows by a JUNK chunk of `hole` bytes and the last frame.
    const size_t moviAt = head.size() - Chunk("00dc", frames[0]).size() - Chunk("00dc", frames[1]).size() - 12;
    WriteLe32(head.data() + moviAt + 4, uint32_t(ReadLe32(head.data() + moviAt + 4) + 8 + hole + last.size()));
    WriteLe32(head.data() + 4, uint32_t(head.size() - 8 + 8 + hole + last.size()));
    Bytes junk = {'J', 'U', 'N', 'K', 0, 0, 0, 0};
    WriteLe32(junk.data() + 4, uint32_t(hole));
    const std::string path = folder / "big.avi";
    WriteFile(path, head);
    {
        FILE* f = std::fopen(path.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, 0, SEEK_END);
        std::fwrite(junk.data(), 1, junk.size(), f);
        ASSERT_EQ(fseeko(f, off_t(head.size() + junk.size() + hole), SEEK_SET), 0);
        std::fwrite(last.data(), 1, last.size(), f);
        std::fclose(f);
    }
    job.ChooseFiles({path});
    ASSERT_EQ(Run(false), "");
    EXPECT_EQ(result.frames, 3u);
    Parsed joined = ParseFile(folder / "joined.avi");
    EXPECT_EQ(joined.frames, frames);
    // The process's peak memory stays far below the input's size (each
    // test runs in a process of its own under ctest).
    struct rusage usage {};
    ASSERT_EQ(getrusage(RUSAGE_SELF, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 512 * 1024) << "peak resident kilobytes";
}

TEST_F(ExportTest, OutputMayReplaceOneOfItsInputs) {
    std::vector<Bytes> a = MakeFrames(3, 32, 32), b = MakeFrames(2, 32, 32, 9);
    AddInputs({MakeRecording(a), MakeRecording(b)});
    sink.output = folder / "0.avi";
    ASSERT_EQ(Run(false), "");
    EXPECT_EQ(ParseFile(folder / "0.avi").frames, Join(a, b));
}

TEST_F(ExportTest, NoFilesOrADeclinedQuestionWriteNothing) {
    EXPECT_EQ(Run(false), "");
    EXPECT_EQ(result.outcome, ExportOutcome::NothingToDo);
    EXPECT_EQ(sink.questions, 0);

    AddInputs({MakeRecording(MakeFrames(2, 16, 16))});
    sink.output.clear();
    EXPECT_EQ(Run(false), "");
    EXPECT_EQ(result.outcome, ExportOutcome::OutputDeclined);
    EXPECT_EQ(sink.questions, 1);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"0.avi"});
}

TEST_F(ExportTest, CancelledJobLeavesNoOutput) {
    AddInputs({MakeRecording(MakeFrames(20, 32, 32)), MakeRecording(MakeFrames(20, 32, 32))});
    for (bool reencode : {false, true}) {
        int polls = 0;
        ExportOptions options;
        options.reencode = reencode;
        options.cancelled = [&] { return ++polls > 25; };
        result = Export(job, sink, options);
        EXPECT_EQ(result.outcome, ExportOutcome::Cancelled);
        EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"0.avi", "1.avi"}));
    }
}

TEST(ExportJobTest, ChosenFilesSplitIntoFolderAndNames) {
    ExportJob job;
    job.ChooseFiles({"/rec/a.avi"});
    EXPECT_EQ(job.folder, "/rec");
    EXPECT_EQ(job.files, std::vector<std::string>{"a.avi"});
    EXPECT_EQ(job.InputPath(0), "/rec/a.avi");

    job.ChooseFiles({"/rec/b.avi", "/rec/a.avi", "/other/c.avi"});
    EXPECT_EQ(job.files, (std::vector<std::string>{"b.avi", "a.avi", "/other/c.avi"}));
    EXPECT_EQ(job.InputPath(1), "/rec/a.avi");
    EXPECT_EQ(job.InputPath(2), "/other/c.avi");

    job.ChooseFiles({"/x.avi"});
    EXPECT_EQ(job.InputPath(0), "/x.avi");
    job.ChooseFiles({"rel.avi"});
    EXPECT_EQ(job.InputPath(0), "rel.avi");
}

} // namespace
} // namespace korvex::test
