#include "export/AviReader.h"

#include "export/AviTestData.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

struct Found : AviInputSink {
    std::vector<std::pair<uint32_t, uint32_t>> headers;
    std::vector<Bytes> frames;
    void OnMainHeader(uint32_t w, uint32_t h) override { headers.push_back({w, h}); }
    void OnFrame(const uint8_t* data, uint32_t size) override { frames.emplace_back(data, data + size); }
};

// The error text a parse raises, or "" when it succeeds.
std::string ParseError(const Bytes& file, Found* found = nullptr) {
    Found local;
    try {
        ParseAvi(file.data(), file.size(), found ? *found : local);
    } catch (const LocalException& e) {
        return e.what();
    }
    return "";
}

class AviReaderTest : public ::testing::Test {
protected:
    void SetUp() override { InstallNumberedTexts(); }
};

TEST_F(AviReaderTest, ReadsOnlyMainHeaderAndVideoFramesOfARecorderFile) {
    std::vector<Bytes> frames = MakeFrames(5, 64, 48);
    frames.push_back(Bytes(1001, 0xAB)); // odd length: padded in the file
    frames.push_back(Bytes{});           // empty chunk
    frames.push_back(MakeJpeg(64, 48, 1, 9));
    Found found;
    ASSERT_EQ(ParseError(MakeRecording(frames, {320, 240, true, true}), &found), "");
    ASSERT_EQ(found.headers.size(), 1u);
    EXPECT_EQ(found.headers[0], std::make_pair(320u, 240u));
    EXPECT_EQ(found.frames, frames); // no "01wb", "JUNK", "idx1" or INFO data among them
}

TEST_F(AviReaderTest, FramesOutsideTheMovieListAndNestedListsAreSkipped) {
    Bytes frame = MakeJpeg(16, 16, 3, 1);
    Bytes file = Riff("AVI ", {List("hdrl", {MainHeader(16, 16, 1)}), Chunk("00dc", frame), // not in "movi"
                               List("movi", {List("rec ", {Chunk("00dc", frame)}),          // nested list
                                             Chunk("00dc", frame), Chunk("00db", frame)})});
    Found found;
    ASSERT_EQ(ParseError(file, &found), "");
    EXPECT_EQ(found.frames.size(), 1u);
}

TEST_F(AviReaderTest, EveryHeaderIsReportedSoTheLastOneWins) {
    Bytes file = Riff("AVI ", {List("hdrl", {MainHeader(10, 20, 0)}), List("hdrl", {MainHeader(30, 40, 0)})});
    Found found;
    ASSERT_EQ(ParseError(file, &found), "");
    ASSERT_EQ(found.headers.size(), 2u);
    EXPECT_EQ(found.headers[1], std::make_pair(30u, 40u));
}

TEST_F(AviReaderTest, RejectsFilesThatAreNotAviRecordings) {
    Bytes good = MakeRecording(MakeFrames(2, 16, 16));
    EXPECT_EQ(ParseError(Bytes{'R', 'I', 'F', 'F', 0, 0, 0}), "E244"); // under 8 bytes
    EXPECT_EQ(ParseError(Bytes{}), "E244");
    Bytes wave = good;
    std::copy_n("WAVE", 4, wave.begin() + 8);
    EXPECT_EQ(ParseError(wave), "E251");
    Bytes rifx = good;
    rifx[3] = 'X';
    EXPECT_EQ(ParseError(rifx), "E253");
    // Too short to hold a form: RIFF length 2.
    EXPECT_EQ(ParseError(Bytes{'R', 'I', 'F', 'F', 2, 0, 0, 0, 'A', 'V'}), "E244");
    // The RIFF length is checked against the file before the code.
    Bytes junk = Bytes{'J', 'U', 'N', 'K', 100, 0, 0, 0, 1, 2, 3, 4};
    EXPECT_EQ(ParseError(junk), "E245");
}

TEST_F(AviReaderTest, LengthsBeyondTheFileOrTheirListAreRefused) {
    Bytes good = MakeRecording(MakeFrames(3, 16, 16));
    // Cut anywhere inside the file: the RIFF length now runs past the end.
    for (size_t cut : {good.size() - 1, good.size() / 2, size_t(12)})
        EXPECT_EQ(ParseError(Bytes(good.begin(), good.begin() + long(cut))), "E245") << cut;

    // A chunk claiming more than its list holds, at each level.
    Bytes frame = MakeJpeg(16, 16, 3, 1);
    EXPECT_EQ(ParseError(Riff("AVI ", {ChunkWithLength("JUNK", 0xFFFFFFF0u, {})})), "E245");
    EXPECT_EQ(ParseError(Riff("AVI ", {List("hdrl", {ChunkWithLength("avih", 400, Bytes(56, 0))})})), "E245");
    EXPECT_EQ(ParseError(
                  Riff("AVI ", {List("movi", {ChunkWithLength("00dc", uint32_t(frame.size() + 2), frame)})})),
              "E245");
    // A list length under 4 cannot hold its type.
    EXPECT_EQ(ParseError(Riff("AVI ", {ChunkWithLength("LIST", 2, {'h', 'd'})})), "E244");
    // ... inside the header list or the movie list as well.
    EXPECT_EQ(ParseError(Riff("AVI ", {List("hdrl", {ChunkWithLength("LIST", 3, {'s', 't', 'r'})})})),
              "E244");
    EXPECT_EQ(ParseError(Riff("AVI ", {List("movi", {ChunkWithLength("LIST", 0, {})})})), "E244");
    // A main header shorter than 56 bytes.
    EXPECT_EQ(ParseError(Riff("AVI ", {List("hdrl", {Chunk("avih", Bytes(55, 0))})})), "E246");
}

TEST_F(AviReaderTest, OddChunkAtTheVeryEndWithoutPadByteIsAccepted) {
    Bytes frame(7, 0x11);
    Bytes movi = List("movi", {Chunk("00dc", frame)});
    movi.pop_back(); // drop the pad byte of the last chunk ...
    Bytes body = {'A', 'V', 'I', ' '};
    body.insert(body.end(), movi.begin(), movi.end());
    Bytes file = ChunkWithLength("RIFF", uint32_t(body.size()), body);
    // ... and fix both lengths so that they end right after the data.
    file[16] = uint8_t(4 + 8 + 7);
    Found found;
    ASSERT_EQ(ParseError(file, &found), "");
    ASSERT_EQ(found.frames.size(), 1u);
    EXPECT_EQ(found.frames[0], frame);
}

} // namespace
} // namespace korvex::test
