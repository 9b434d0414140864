#include "live/LiveSession.h"

#include "framework/Trace.h"
#include "live/H264TestStream.h"
#include "live/LiveTestSupport.h"
#include "live/Overlay.h"

#include <gtest/gtest.h>

#include <string>

namespace korvex {
namespace {

using namespace korvex::test;

struct SessionFixture : ::testing::Test {
    MemoryChannel channel;
    LiveBuffers buffers;
    RecordingSink sink;
    FixedOptions options;
    OptionMaskState mask;
    RecordingTuning tuning;
    std::vector<std::string> traces;
    TraceSink oldSink;

    void SetUp() override {
        oldSink = SetTraceSink([this](const std::string& line) { traces.push_back(line); });
    }
    void TearDown() override { SetTraceSink(oldSink); }

    // Runs the whole input through one session; returns how many messages
    // were answered before it ended, and whether it ended early.
    size_t RunAll(bool* endedEarly = nullptr) {
        LiveSession session(channel, buffers, sink, options, mask, tuning);
        while (session.ProcessMessage()) {
        }
        if (endedEarly != nullptr)
            *endedEarly = channel.position < channel.input.size();
        return session.MessagesAnswered();
    }
    bool Traced(const std::string& line) const { return std::find(traces.begin(), traces.end(), line) != traces.end(); }
};

using LiveSessionFormats = SessionFixture;
using LiveSessionReplies = SessionFixture;
using LiveSessionH264 = SessionFixture;

std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(i * 13 + seed + (i >> 8));
    return b;
}

TEST_F(LiveSessionFormats, GreyAndColourPicturesAreConvertedAndTraced) {
    auto grey180 = Bytes(25920, 1), grey320 = Bytes(76800, 2), colour = Bytes(153600, 3);
    Append(channel.input, Message(Picture(kFormatGrey, 180, 144, 0, 11), grey180));
    Append(channel.input, Message(Picture(kFormatColour16, 320, 240, 1, 12), colour));
    Append(channel.input, Message(Picture(kFormatGrey, 320, 240, 2, 13), grey320));
    EXPECT_EQ(RunAll(), 3u);
    auto d = sink.Deliveries();
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0].camera, 0u);
    EXPECT_EQ(d[0].picture.Width(), 180u);
    EXPECT_EQ(d[0].picture.GetPixelColour(7, 3), uint32_t(grey180[3 * 180 + 7]) * 0x010101u);
    EXPECT_EQ(d[1].camera, 1u);
    const uint32_t v = colour[2 * (5 * 320 + 9)] | colour[2 * (5 * 320 + 9) + 1] << 8;
    EXPECT_EQ(d[1].picture.GetPixelColour(9, 5), ((v & 0x1F) << 3) << 16 | ((v >> 3) & 0xFC) << 8 | ((v >> 8) & 0xF8));
    EXPECT_EQ(d[2].picture.GetPixelColour(319, 239), uint32_t(grey320.back()) * 0x010101u);
    EXPECT_TRUE(Traced("LiveThread::Run: Frame 180x144x8 11\n"));
    EXPECT_TRUE(Traced("LiveThread::Run: Frame 320x240x16 12\n"));
    EXPECT_TRUE(Traced("LiveThread::Run: [2] Frame 320x240x8 13\n"));
    ASSERT_EQ(sink.headers.size(), 3u);
    EXPECT_EQ(sink.headers[1].frameNumber, 12u);
}

TEST_F(LiveSessionFormats, LongHeaderIsSkippedAndPictureStillAccepted) {
    auto h = Picture(kFormatGrey, 180, 144, 0, 5);
    h.headerLength = 100;
    Append(channel.input, Message(h, Bytes(25920, 9)));
    Append(channel.input, Message(Picture(kFormatGrey, 180, 144, 0, 6), Bytes(25920, 9)));
    EXPECT_EQ(RunAll(), 2u);
    EXPECT_EQ(sink.DeliveryCount(), 2u);
    EXPECT_EQ(channel.replies[1][4], 6);
}

TEST_F(LiveSessionFormats, MismatchedAndForeignMessagesAreConsumedAndAnswered) {
    // 320 x 240 grey with the small payload: matches no row.
    Append(channel.input, Message(Picture(kFormatGrey, 320, 240, 0, 1), Bytes(25920, 1)));
    // Camera 9: skipped whatever it says.
    Append(channel.input, Message(Picture(kFormatGrey, 180, 144, 9, 2), Bytes(25920, 1)));
    // Grey with x set: no row matches.
    auto shifted = Picture(kFormatGrey, 180, 144, 0, 3);
    shifted.x = 1;
    Append(channel.input, Message(shifted, Bytes(25920, 1)));
    // An unknown kind with a 20-byte header and a payload.
    PictureHeader other;
    other.kind = 7;
    other.headerLength = 20;
    other.frameNumber = 4;
    Append(channel.input, Message(other, Bytes(33, 1)));
    // A picture that is accepted afterwards shows the stream stayed in step.
    Append(channel.input, Message(Picture(kFormatGrey, 180, 144, 0, 5), Bytes(25920, 4)));
    bool early = true;
    EXPECT_EQ(RunAll(&early), 5u);
    EXPECT_FALSE(early);
    ASSERT_EQ(sink.DeliveryCount(), 1u);
    EXPECT_EQ(sink.headers.size(), 1u);
    EXPECT_EQ(channel.replies[1][9], 9);  // camera of the answered message
}

TEST_F(LiveSessionFormats, BlankPictureReadsNothingAfterItsHeader) {
    auto blank = Picture(kFormatBlank, 320, 240, 1, 21);
    blank.x = 100;
    blank.payloadLength = 64;  // a lie: the next message starts right here
    Append(channel.input, Message(blank, {}, false));
    Append(channel.input, Message(Picture(kFormatGrey, 180, 144, 0, 22), Bytes(25920, 4)));
    EXPECT_EQ(RunAll(), 2u);
    auto d = sink.Deliveries();
    ASSERT_EQ(d.size(), 2u);
    const Bitmap& b = d[0].picture;
    ASSERT_EQ(b.Width(), 320u);
    for (uint32_t y : {0u, 120u, 239u}) {
        EXPECT_EQ(b.GetPixelColour(0, y), 0xFFFFFFu);
        EXPECT_EQ(b.GetPixelColour(99, y), 0xFFFFFFu);
        EXPECT_EQ(b.GetPixelColour(100, y), 0u);
        EXPECT_EQ(b.GetPixelColour(319, y), 0u);
    }
    EXPECT_TRUE(Traced("LiveThread::Run: [1] Blank 100x0->320x240 21\n"));
}

TEST_F(LiveSessionFormats, BlankWithOddWidthOrHugeSizeIsAnsweredButDropped) {
    Append(channel.input, Message(Picture(kFormatBlank, 322, 240, 0, 1), {}));
    Append(channel.input, Message(Picture(kFormatBlank, 65532, 65535, 0, 2), {}));
    auto offside = Picture(kFormatBlank, 8, 4, 0, 3);
    offside.x = 500;  // region entirely right of the picture: all white
    offside.y = 2;
    Append(channel.input, Message(offside, {}));
    EXPECT_EQ(RunAll(), 3u);
    auto d = sink.Deliveries();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].picture, Bitmap(8, 4));
    EXPECT_EQ(sink.headers.size(), 1u);
}

TEST_F(LiveSessionFormats, BlurFlagMarksThePictureOthersStayUntouched) {
    auto flagged = Picture(kFormatGrey, 180, 144, 0, 1);
    flagged.pictureFlags = 0x01;
    std::vector<uint8_t> grey(25920, 77);
    Append(channel.input, Message(flagged, grey));
    auto other = Picture(kFormatGrey, 180, 144, 0, 2);
    other.pictureFlags = 0xFE;  // other bits mean nothing
    Append(channel.input, Message(other, grey));
    RunAll();
    auto d = sink.Deliveries();
    ASSERT_EQ(d.size(), 2u);
    Bitmap expected(180, 144);
    for (uint32_t y = 0; y < 144; ++y)
        for (uint32_t x = 0; x < 180; ++x)
            expected.SetPixelColour(x, y, 77 * 0x010101u);
    EXPECT_EQ(d[1].picture, expected);
    MarkBlur(expected);
    EXPECT_EQ(d[0].picture, expected);
}

TEST_F(LiveSessionFormats, BrokenHeadersEndTheConnection) {
    for (uint32_t length : {0u, 15u}) {
        channel = MemoryChannel(Message(Picture(kFormatGrey, 180, 144), Bytes(25920, 0)));
        for (int i = 0; i < 4; ++i)
            channel.input[size_t(i)] = uint8_t(length >> (8 * i));
        EXPECT_EQ(RunAll(), 0u) << length;
    }
    for (uint8_t kind : {kKindPicture, kKindTuningTrace}) {
        PictureHeader h = Picture(kFormatGrey, 180, 144);
        h.kind = kind;
        h.headerLength = 63;
        channel = MemoryChannel(Message(h, Bytes(25920, 0)));
        EXPECT_EQ(RunAll(), 0u) << int(kind);
    }
    // Peer closing in the middle of a payload.
    channel = MemoryChannel(Message(Picture(kFormatGrey, 180, 144), Bytes(25920, 0)));
    channel.input.resize(channel.input.size() - 1);
    EXPECT_EQ(RunAll(), 0u);
    EXPECT_EQ(sink.DeliveryCount(), 0u);
}

// A peer that never stops sending: every read is filled, and the bytes
// taken are counted.
class EndlessChannel : public LiveChannel {
public:
    explicit EndlessChannel(std::vector<uint8_t> start) : start(std::move(start)) {}
    bool ReadExact(uint8_t* buffer, size_t n) override {
        for (size_t i = 0; i < n; ++i, ++taken)
            buffer[i] = taken < start.size() ? start[taken] : 0;
        return true;
    }
    bool Send(const uint8_t*, size_t) override { return true; }
    std::vector<uint8_t> start;
    uint64_t taken = 0;
};

TEST_F(LiveSessionFormats, GiganticHeadersAndSkipsEndTheConnectionUnread) {
    struct Case {
        uint8_t kind;
        uint32_t headerLength, payloadLength;
        uint64_t read; // bytes taken before the connection ends
    };
    for (const Case& c : {Case{kKindPicture, 0xFFFFFFF0u, 0, 16}, Case{9, 64, 0xFFFFFFFFu, 64},
                          Case{kKindTuningTrace, kMaxHeaderLength + 1, 500, 16},
                          Case{kKindPicture, 64, kMaxSkippedPayload + 1, 64}}) {
        PictureHeader h = Picture(kFormatGrey, 180, 144);
        h.kind = c.kind;
        h.headerLength = c.headerLength;
        h.payloadLength = c.payloadLength;
        const auto fixed = EncodePictureHeader(h);
        EndlessChannel endless({fixed.begin(), fixed.end()});
        LiveSession session(endless, buffers, sink, options, mask, tuning);
        EXPECT_FALSE(session.ProcessMessage()) << int(c.kind) << " " << c.headerLength;
        EXPECT_EQ(endless.taken, c.read) << int(c.kind) << " " << c.headerLength;
        EXPECT_EQ(session.MessagesAnswered(), 0u);
    }
    // Up to the bound a message of an unknown kind is still consumed and
    // answered.
    PictureHeader h = Picture(kFormatGrey, 180, 144);
    h.kind = 9;
    channel = MemoryChannel(Message(h, std::vector<uint8_t>(kMaxSkippedPayload, 1)));
    EXPECT_EQ(RunAll(), 1u);
}

std::vector<uint8_t> TracePayload(uint16_t first) {
    std::vector<uint8_t> p(500);
    for (unsigned i = 0; i < 250; ++i) {
        const uint16_t v = uint16_t(i == 0 ? first : i % 5);
        p[2 * i] = uint8_t(v);
        p[2 * i + 1] = uint8_t(v >> 8);
    }
    return p;
}

PictureHeader TraceHeader(uint8_t camera, uint8_t detector, uint32_t frame) {
    PictureHeader h;
    h.kind = kKindTuningTrace;
    h.camera = camera;
    h.detector = detector;
    h.x = 250;
    h.y = 16;
    h.frameNumber = frame;
    return h;
}

TEST_F(LiveSessionReplies, TuningTracesReachOnlyTheSelectedDetector) {
    tuning.Select(2, 5);
    tuning.RequestOnce();
    Append(channel.input, Message(TraceHeader(2, 5, 1), TracePayload(1025)));
    Append(channel.input, Message(TraceHeader(2, 6, 2), TracePayload(1026)));
    Append(channel.input, Message(TraceHeader(12, 5, 3), TracePayload(1125)));
    auto wrongSize = TraceHeader(2, 5, 4);
    wrongSize.y = 8;
    Append(channel.input, Message(wrongSize, TracePayload(1)));
    bool early = true;
    EXPECT_EQ(RunAll(&early), 4u);
    EXPECT_FALSE(early);
    auto traces = tuning.Traces();
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_EQ(traces[0][0], 1025);
    EXPECT_EQ(traces[0][249], 249 % 5);
    // Every reply carries the selection; the one-shot bit only the first.
    ASSERT_EQ(channel.replies.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(channel.replies[i][16] & 0x04, 0x04);
        EXPECT_EQ(channel.replies[i][16] & 0x08, i == 0 ? 0x08 : 0);
        EXPECT_EQ(channel.replies[i][18], 5);
        EXPECT_EQ(channel.replies[i][19], 2);
    }
}

TEST_F(LiveSessionReplies, EveryFieldCarriesTheViewerState) {
    struct Case {
        bool a, b;
        int zoom;
        bool maskOpen;
        uint32_t maskBits;
        int tuneCamera, tuneDetector;
        uint8_t camera;
        uint8_t options;
    };
    const Case cases[] = {
        {true, true, -1, false, 0, -1, -1, 0, 0x10 | 0x80},
        {false, true, -1, false, 0, -1, -1, 0, 0x01 | 0x10 | 0x80},
        {true, false, -1, false, 0, -1, -1, 0, 0x10 | 0x40},
        {true, true, 3, false, 0, -1, -1, 0, 0x10 | 0x20 | 0x80},
        {true, true, 3, false, 0, -1, -1, 3, 0x10 | 0x80},
        {true, true, -1, true, 0xA5C381, -1, -1, 1, 0x02 | 0x10 | 0x80},
        {true, true, -1, false, 0xA5C381, 4, -1, 1, 0x10 | 0x80},  // half a selection: no tuning
        {true, true, -1, false, 0, 0x104, 0x2FF, 1, 0x04 | 0x10 | 0x80},
    };
    for (const Case& c : cases) {
        options.a = c.a;
        options.b = c.b;
        options.zoom = c.zoom;
        mask.Close();
        if (c.maskOpen)
            mask.Open();
        mask.SetMask(c.maskBits);
        tuning.Select(c.tuneCamera, c.tuneDetector);
        channel = MemoryChannel(Message(Picture(kFormatGrey, 180, 144, c.camera, 0x01020304), Bytes(25920, 0)));
        ASSERT_EQ(RunAll(), 1u);
        const auto& r = channel.replies.at(0);
        ASSERT_EQ(r.size(), 64u);
        EXPECT_EQ(r[0] | r[1] << 8 | r[2] << 16 | r[3] << 24, 64);
        EXPECT_EQ(r[4] | r[5] << 8 | r[6] << 16 | r[7] << 24, 0x01020304);
        EXPECT_EQ(r[8], 0);
        EXPECT_EQ(r[9], c.camera);
        for (int i = 10; i < 16; ++i)
            EXPECT_EQ(r[i], 0) << i;
        EXPECT_EQ(r[16], c.options);
        EXPECT_EQ(r[17], c.maskOpen ? 0x81 : 0);
        EXPECT_EQ(r[20], c.maskOpen ? 0xC3 : 0);
        EXPECT_EQ(r[21], c.maskOpen ? 0xA5 : 0);
        EXPECT_EQ(r[18], (c.options & 0x04) ? 0xFF : 0);  // low byte of the detector
        EXPECT_EQ(r[19], (c.options & 0x04) ? 0x04 : 0);
        for (int i = 22; i < 64; ++i)
            EXPECT_EQ(r[i], 0) << i;
    }
}

TEST_F(LiveSessionReplies, MaskComesFromTheDialogBoxesWhileItIsOpen) {
    mask.Open();
    mask.RebuildFromBoxes([](int id) { return id == 1048 || id == 1057 || id == 1071 || id == 1072; });
    EXPECT_EQ(mask.OptionMask(), (1u << 0) | (1u << 9) | (1u << 23));
    mask.Close();
    EXPECT_FALSE(mask.MaskDialogOpen());
    EXPECT_EQ(mask.OptionMask(), 0u);
}

TEST_F(LiveSessionReplies, FailedSendEndsTheConnection) {
    Append(channel.input, Message(Picture(kFormatGrey, 180, 144), Bytes(25920, 0)));
    Append(channel.input, Message(Picture(kFormatGrey, 180, 144), Bytes(25920, 0)));
    channel.sendOk = false;
    bool early = false;
    EXPECT_EQ(RunAll(&early), 0u);
    EXPECT_TRUE(early);
}

TEST_F(LiveSessionH264, PicturesEqualAnIndependentDecodeFromTheFirstKeyFrame) {
    auto units = EncodeTestStream(24, 8);
    if (units.empty())
        GTEST_SKIP() << "no H.264 encoder in this libavcodec";
    ASSERT_TRUE(units[0].keyFrame);
    // The camera joins in the middle: units 3-7 are not key frames, unit 8
    // is the first key frame it sees.
    size_t firstKey = 0;
    for (size_t i = 3; i < units.size(); ++i)
        if (units[i].keyFrame) {
            firstKey = i;
            break;
        }
    ASSERT_GT(firstKey, 3u);
    for (size_t i = 3; i < units.size(); ++i) {
        auto h = Picture(kFormatH264, 320, 240, 4, uint32_t(i));
        Append(channel.input, Message(h, H264Payload(units[i].data, units[i].keyFrame, i % 3)));
    }
    LiveSession session(channel, buffers, sink, options, mask, tuning);
    for (size_t i = 3; i < firstKey; ++i) {
        ASSERT_TRUE(session.ProcessMessage());
        EXPECT_FALSE(session.HasDecoder(4));
    }
    while (session.ProcessMessage()) {
    }
    EXPECT_TRUE(session.HasDecoder(4));
    EXPECT_EQ(session.MessagesAnswered(), units.size() - 3);
    // Every unit's header reached OnFrameHeader, decoded or not.
    EXPECT_EQ(sink.headers.size(), units.size() - 3);
    EXPECT_EQ(sink.repaints, units.size() - 3);

    auto expected = IndependentDecode({units.begin() + long(firstKey), units.end()});
    auto d = sink.Deliveries();
    ASSERT_EQ(d.size(), expected.size());
    ASSERT_GE(d.size(), units.size() - firstKey - 1);
    for (size_t i = 0; i < d.size(); ++i) {
        EXPECT_EQ(d[i].camera, 4u);
        EXPECT_TRUE(d[i].picture == expected[i]) << "picture " << i;
    }
    // The picture shows the encoded scene: the moving square of the first
    // decoded picture is bright.
    const int left = int(firstKey * 8 % 320);
    const uint32_t inSquare = d[0].picture.GetPixelColour(uint32_t(std::max(0, left - 16) + 4), 50 - 24);
    EXPECT_GT(inSquare & 0xFF00, 0xA000u) << std::hex << inSquare;
}

TEST_F(LiveSessionH264, UnitLengthBoundAndDecoderErrors) {
    auto units = EncodeTestStream(4, 4);
    if (units.empty())
        GTEST_SKIP() << "no H.264 encoder in this libavcodec";
    // unitLength == payloadLength - 8: accepted.
    Append(channel.input, Message(Picture(kFormatH264, 320, 240, 0, 1), H264Payload(units[0].data, true)));
    // Garbage after the key frame: dropped, connection stays.
    std::vector<uint8_t> garbage(500, 0x00);
    garbage[3] = 0x01;
    garbage[4] = 0x65;
    Append(channel.input, Message(Picture(kFormatH264, 320, 240, 0, 2), H264Payload(garbage, false)));
    // A second camera gets its own decoder.
    auto blurred = Picture(kFormatH264, 320, 240, 6, 3);
    blurred.pictureFlags = 1;
    Append(channel.input, Message(blurred, H264Payload(units[0].data, true)));
    // unitLength one more than payloadLength - 8: ends the connection.
    auto tooLong = H264Payload(units[1].data, false);
    auto h = Picture(kFormatH264, 320, 240, 0, 4);
    auto bad = Message(h, tooLong);
    const uint32_t length = uint32_t(units[1].data.size()) + 1;
    for (int i = 0; i < 4; ++i)
        bad[64 + 4 + i] = uint8_t(length >> (8 * i));
    Append(channel.input, bad);
    Append(channel.input, Message(Picture(kFormatGrey, 180, 144), Bytes(25920, 0)));
    LiveSession session(channel, buffers, sink, options, mask, tuning);
    EXPECT_TRUE(session.ProcessMessage());
    EXPECT_TRUE(session.ProcessMessage());
    EXPECT_TRUE(session.ProcessMessage());
    EXPECT_TRUE(session.HasDecoder(0));
    EXPECT_TRUE(session.HasDecoder(6));
    EXPECT_FALSE(session.HasDecoder(1));
    EXPECT_FALSE(session.ProcessMessage());
    EXPECT_EQ(session.MessagesAnswered(), 3u);
    auto d = sink.Deliveries();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].camera, 0u);
    EXPECT_EQ(d[1].camera, 6u);
    Bitmap marked = d[0].picture;
    MarkBlur(marked);
    EXPECT_EQ(d[1].picture, marked);  // the same unit, marked
    EXPECT_NE(d[0].picture, marked);
}

// A sink that hands back pictures of the wrong size for reuse.
class WrongSizeSink : public RecordingSink {
public:
    Bitmap NewPicture(uint32_t, uint32_t) override { return Bitmap(4, 4); }
};

TEST_F(LiveSessionH264, PicturesHandedBackAtTheWrongSizeAreReplaced) {
    auto units = EncodeTestStream(3, 3);
    if (units.empty())
        GTEST_SKIP() << "no H.264 encoder in this libavcodec";
    for (size_t i = 0; i < units.size(); ++i)
        Append(channel.input, Message(Picture(kFormatH264, 320, 240, 0, uint32_t(i)), H264Payload(units[i].data, units[i].keyFrame)));
    Append(channel.input, Message(Picture(kFormatGrey, 180, 144, 1, 9), Bytes(25920, 3)));
    WrongSizeSink odd;
    LiveSession session(channel, buffers, odd, options, mask, tuning);
    while (session.ProcessMessage()) {
    }
    auto expected = IndependentDecode(units);
    ASSERT_FALSE(expected.empty());
    auto d = odd.Deliveries();
    ASSERT_EQ(d.size(), expected.size() + 1);
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(d[i].picture == expected[i]) << "picture " << i;
    EXPECT_EQ(d.back().picture.Width(), 180u);
}

} // namespace
} // namespace korvex
