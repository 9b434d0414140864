#include "export/Export.h"

#include "export/AviFormat.h"
#include "export/AviReader.h"
#include "export/AviTestData.h"
#include "export/LibavReader.h"
#include "export/RecordingSink.h"
#include "framework/LocalException.h"

#include <filesystem>
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

    TempFolder folder;
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

    // A folder opens like a file but cannot be read.
    std::filesystem::create_directory(folder / "folder.avi");
    job.files.back() = "folder.avi";
    EXPECT_EQ(Run(true), "cannot read '" + folder / "folder.avi" + "'.");
    EXPECT_FALSE(FileExists(folder / "joined.avi"));
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
