#include "export/AviWriter.h"

#include "export/AviFormat.h"
#include "export/AviReader.h"
#include "export/AviTestData.h"
#include "framework/LocalException.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

uint32_t U32(const Bytes& b, size_t at) {
    return ReadLe32(b.data() + at);
}
uint16_t U16(const Bytes& b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}
std::string Code(const Bytes& b, size_t at) {
    return std::string(b.begin() + long(at), b.begin() + long(at) + 4);
}

class AviWriterTest : public ::testing::Test {
protected:
    void SetUp() override { InstallNumberedTexts(); }
    TempDir folder{"korvex-export"};
};

TEST_F(AviWriterTest, HeaderHoldsOneMjpgStreamWithFinalCounters) {
    std::string path = folder / "out.avi";
    Bytes a(100, 1), b(1001, 2);
    {
        AviWriter w(path);
        w.SetPictureSize(320, 240);
        w.AddFrameReference(a.data(), uint32_t(a.size()));
        w.AddFrameCopy(b.data(), uint32_t(b.size()));
        w.Commit();
    }
    Bytes f = ReadFile(path);
    const uint32_t chunks = (8 + 100) + (8 + 1001 + 1);
    ASSERT_EQ(f.size(), 524 + chunks + 8 + 32);
    EXPECT_EQ(Code(f, 0), "RIFF");
    EXPECT_EQ(U32(f, 4), f.size() - 8);
    EXPECT_EQ(Code(f, 8), "AVI ");
    EXPECT_EQ(Code(f, 12), "LIST");
    EXPECT_EQ(U32(f, 16), 492u);
    EXPECT_EQ(Code(f, 20), "hdrl");
    EXPECT_EQ(Code(f, 24), "avih");
    EXPECT_EQ(U32(f, 28), 56u);
    EXPECT_EQ(U32(f, 32), 160000u);
    EXPECT_EQ(U32(f, 36), 1000000u);
    EXPECT_EQ(U32(f, 44), 0x10u);
    EXPECT_EQ(U32(f, 48), 2u);
    EXPECT_EQ(U32(f, 56), 1u);
    EXPECT_EQ(U32(f, 64), 320u);
    EXPECT_EQ(U32(f, 68), 240u);
    EXPECT_EQ(Code(f, 88), "LIST");
    EXPECT_EQ(U32(f, 92), 116u);
    EXPECT_EQ(Code(f, 96), "strl");
    EXPECT_EQ(Code(f, 100), "strh");
    EXPECT_EQ(Code(f, 108), "vids");
    EXPECT_EQ(Code(f, 112), "tavo");
    EXPECT_EQ(U32(f, 128), 160000u);
    EXPECT_EQ(U32(f, 132), 1000000u);
    EXPECT_EQ(U32(f, 140), 2u);
    EXPECT_EQ(U32(f, 148), 10000u);
    EXPECT_EQ(U16(f, 156), 0u);
    EXPECT_EQ(U16(f, 160), 320u);
    EXPECT_EQ(U16(f, 162), 240u);
    EXPECT_EQ(Code(f, 164), "strf");
    EXPECT_EQ(U32(f, 168), 40u);
    EXPECT_EQ(U32(f, 172), 40u);
    EXPECT_EQ(U32(f, 176), 320u);
    EXPECT_EQ(U32(f, 180), 240u);
    EXPECT_EQ(U16(f, 184), 1u);
    EXPECT_EQ(U16(f, 186), 24u);
    EXPECT_EQ(Code(f, 188), "MJPG");
    EXPECT_EQ(U32(f, 192), 320u * 240 * 3);
    EXPECT_EQ(Code(f, 212), "LIST");
    EXPECT_EQ(U32(f, 216), 260u);
    EXPECT_EQ(Code(f, 220), "odml");
    EXPECT_EQ(Code(f, 224), "dmlh");
    EXPECT_EQ(U32(f, 228), 248u);
    EXPECT_EQ(U32(f, 232), 2u);
    EXPECT_EQ(Code(f, 480), "JUNK");
    EXPECT_EQ(U32(f, 484), 24u);
    EXPECT_EQ(Code(f, 512), "LIST");
    EXPECT_EQ(U32(f, 516), 4 + chunks);
    EXPECT_EQ(Code(f, 520), "movi");
    // Reserved and unused fields stay zero.
    for (size_t at : {40, 52, 60, 72, 76, 80, 84, 116, 120, 124, 136, 144, 152, 196, 236, 400, 476, 488, 508})
        EXPECT_EQ(U32(f, at), 0u) << at;

    // The odd frame occupies 8 + 1001 + 1 bytes, its pad byte zero.
    EXPECT_EQ(Code(f, 632), "00dc");
    EXPECT_EQ(U32(f, 636), 1001u);
    EXPECT_EQ(f[640 + 1001], 0);

    // Index: offsets counted from the "movi" code, lengths without padding.
    size_t idx = 524 + chunks;
    EXPECT_EQ(Code(f, idx), "idx1");
    EXPECT_EQ(U32(f, idx + 4), 32u);
    EXPECT_EQ(Code(f, idx + 8), "00dc");
    EXPECT_EQ(U32(f, idx + 12), 0x10u);
    EXPECT_EQ(U32(f, idx + 16), 4u);
    EXPECT_EQ(U32(f, idx + 20), 100u);
    EXPECT_EQ(U32(f, idx + 32), 632u - 520);
    EXPECT_EQ(U32(f, idx + 36), 1001u);
}

TEST_F(AviWriterTest, FramesComeBackThroughTheReaderInOrder) {
    std::string path = folder / "out.avi";
    std::vector<Bytes> frames;
    {
        AviWriter w(path);
        // More frames than one vectored write takes, mixing both ways of adding.
        for (int i = 0; i < 1000; ++i)
            frames.push_back(Bytes(size_t(1 + i % 37 * 13), uint8_t(i)));
        for (size_t i = 0; i < frames.size(); ++i) {
            if (i % 3)
                w.AddFrameCopy(frames[i].data(), uint32_t(frames[i].size()));
            else
                w.AddFrameReference(frames[i].data(), uint32_t(frames[i].size()));
        }
        w.Commit();
    }
    Bytes f = ReadFile(path);
    struct Collect : AviInputSink {
        std::vector<Bytes> frames;
        void OnMainHeader(uint32_t, uint32_t) override {}
        void OnFrame(const uint8_t* d, uint32_t s) override { frames.emplace_back(d, d + s); }
    } got;
    ParseAvi(f.data(), f.size(), got);
    EXPECT_EQ(got.frames, frames);
}

TEST_F(AviWriterTest, FrameOverTheWorkingBufferIsRefused) {
    std::string path = folder / "out.avi";
    AviWriter w(path);
    Bytes fits(kAviWorkingBuffer - 8, 0), odd(kAviWorkingBuffer - 9, 0), over(kAviWorkingBuffer - 7, 0);
    w.AddFrameCopy(fits.data(), uint32_t(fits.size()));
    w.AddFrameReference(odd.data(), uint32_t(odd.size())); // padded to exactly the buffer
    try {
        w.AddFrameCopy(over.data(), uint32_t(over.size()));
        FAIL() << "no error";
    } catch (const LocalException& e) {
        EXPECT_STREQ(e.what(), "E250");
    }
    EXPECT_EQ(w.Frames(), 2u);
}

TEST_F(AviWriterTest, FileThatWouldOutgrowTheRiffLimitIsRefused) {
    std::string path = folder / "out.avi";
    Bytes frame(100, 0);
    // Room for the header, two frames and their index entries, nothing more.
    AviWriter w(path, 516 + 2 * 108 + 8 + 2 * 16);
    w.AddFrameCopy(frame.data(), 100);
    w.AddFrameCopy(frame.data(), 100);
    EXPECT_THROW(w.AddFrameCopy(frame.data(), 100), OutputError);
    w.Commit();
    EXPECT_EQ(ReadFile(path).size(), 516 + 2 * 108 + 8 + 2 * 16 + 8u);
}

TEST_F(AviWriterTest, NothingAppearsUntilCommitAndAnOldFileSurvivesAnAbandonedOne) {
    std::string path = folder / "out.avi";
    WriteFile(path, Bytes{'o', 'l', 'd'});
    {
        AviWriter w(path);
        Bytes frame(10, 0);
        w.AddFrameCopy(frame.data(), 10);
        w.Flush();
        EXPECT_EQ(ReadFile(path), (Bytes{'o', 'l', 'd'}));
    }
    EXPECT_EQ(ReadFile(path), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"out.avi"});
}

TEST_F(AviWriterTest, AMissingTargetFolderIsRefusedWithThePathAndReason) {
    std::string path = folder / "missing/out.avi";
    try {
        AviWriter w(path);
        FAIL() << "no error";
    } catch (const LocalException& e) {
        EXPECT_EQ(std::string(e.what()), "refused '" + path + "': no folder.");
    }
}

} // namespace
} // namespace korvex::test
