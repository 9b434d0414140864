#include "export/JpegReencoder.h"

#include "export/AviFormat.h"
#include "export/AviTestData.h"
#include "framework/LocalException.h"

#include <gtest/gtest.h>
#include <random>

namespace korvex::test {
namespace {

class JpegReencoderTest : public ::testing::Test {
protected:
    void SetUp() override { InstallNumberedTexts(); }

    // The re-encoded picture, or the error text.
    std::string Reencode(const Bytes& jpeg, Bytes& result) {
        result.assign(kJpegOutputBuffer, 0);
        try {
            result.resize(encoder.Reencode(jpeg.data(), jpeg.size(), result.data()));
        } catch (const LocalException& e) {
            return e.what();
        }
        return "";
    }

    JpegReencoder encoder;
};

TEST_F(JpegReencoderTest, GreyAndColourPicturesComeOutAsColourOfTheSameSize) {
    for (int components : {1, 3}) {
        Bytes out;
        ASSERT_EQ(Reencode(MakeJpeg(320, 240, components, 5), out), "");
        JpegInfo info = InspectJpeg(out.data(), out.size());
        EXPECT_EQ(info.components, 3) << components;
        EXPECT_EQ(info.width, 320);
        EXPECT_EQ(info.height, 240);
    }
    // Sizes that are not a multiple of the block size.
    Bytes out;
    ASSERT_EQ(Reencode(MakeJpeg(33, 17, 1, 2), out), "");
    JpegInfo info = InspectJpeg(out.data(), out.size());
    EXPECT_EQ(info.components, 3);
    EXPECT_EQ(info.width, 33);
    EXPECT_EQ(info.height, 17);
}

TEST_F(JpegReencoderTest, ReusedEncoderGivesTheSameBytesAsAFreshOne) {
    // One encoder goes through pictures of other sizes and kinds, and a
    // failure, between the pictures compared.
    std::vector<Bytes> pictures = {MakeJpeg(160, 120, 3, 7), MakeJpeg(48, 40, 1, 2), Bytes(300, 0x13),
                                   MakeJpeg(320, 240, 1, 4), MakeJpeg(160, 120, 3, 7)};
    std::vector<Bytes> reused;
    for (const Bytes& p : pictures) {
        Bytes out;
        Reencode(p, out);
        reused.push_back(out);
    }
    for (size_t i : {0, 1, 3}) {
        JpegReencoder fresh;
        Bytes out(kJpegOutputBuffer);
        out.resize(fresh.Reencode(pictures[i].data(), pictures[i].size(), out.data()));
        EXPECT_EQ(reused[i], out) << i;
    }
    EXPECT_EQ(reused[0], reused[4]);
    EXPECT_NE(reused[0], pictures[0]); // really re-encoded, at another quality
}

TEST_F(JpegReencoderTest, UndecodablePicturesRaise247AndTheEncoderStaysUsable) {
    Bytes out;
    Bytes valid = MakeJpeg(64, 48, 3, 1);
    EXPECT_EQ(Reencode(Bytes{}, out), "E247");
    EXPECT_EQ(Reencode(Bytes(1000, 0x55), out), "E247");
    EXPECT_EQ(Reencode(Bytes(valid.begin(), valid.begin() + 100), out), "E247"); // cut inside the tables
    EXPECT_EQ(Reencode(MakeJpeg(32, 32, 4, 1), out), "E247");                    // CMYK has no RGB form
    EXPECT_EQ(Reencode(valid, out), "");
}

TEST_F(JpegReencoderTest, ResultLargerThanTheOutputBufferRaises249) {
    // Noise does not compress: 512 x 512 at quality 98 needs far more than 256 KiB.
    std::mt19937 random(1);
    Bytes rgb(512 * 512 * 3);
    for (auto& v : rgb)
        v = uint8_t(random());
    Bytes jpeg = MakeJpegFromPixels(512, 512, 3, rgb, 90);
    Bytes out;
    EXPECT_EQ(Reencode(jpeg, out), "E249");
    EXPECT_EQ(Reencode(MakeJpeg(64, 48, 3, 1), out), "");
}

TEST_F(JpegReencoderTest, ResultThatFillsTheBufferExactlyFits) {
    for (int components : {3, 1}) {
        Bytes input = components == 3 ? MakeJpeg(160, 120, 3, 3) : MakeJpeg(96, 80, 1, 6);
        Bytes reference;
        ASSERT_EQ(Reencode(input, reference), "");
        const size_t n = reference.size();
        for (size_t capacity : {n, n - 1, n + 1}) {
            JpegReencoder bounded(capacity);
            // A guard byte past the room given must stay untouched.
            Bytes out(capacity + 1, 0xEE);
            try {
                size_t size = bounded.Reencode(input.data(), input.size(), out.data());
                EXPECT_GE(capacity, n) << capacity;
                EXPECT_EQ(Bytes(out.begin(), out.begin() + long(size)), reference) << capacity;
            } catch (const LocalException& e) {
                EXPECT_LT(capacity, n);
                EXPECT_STREQ(e.what(), "E249");
            }
            EXPECT_EQ(out[capacity], 0xEE) << capacity;
        }
    }
}

} // namespace
} // namespace korvex::test
