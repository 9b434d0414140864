// H.264 units chosen by a hostile sender: parameter sets that declare huge
// pictures, and garbage. The decoder must not size its memory by what a unit
// declares, and its complaints must not flood the trace.

#include "framework/Trace.h"
#include "live/H264Decoder.h"
#include "live/H264TestStream.h"
#include "live/H264Units.h"
#include "live/LiveProtocol.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace korvex {
namespace {

// Writes the bits of one NAL unit, then adds the start code, the header byte
// and the emulation-prevention bytes.
class NalWriter {
public:
    void Bits(uint32_t value, unsigned n) {
        for (unsigned i = n; i-- > 0;)
            bits.push_back((value >> i) & 1u);
    }
    void Unsigned(uint32_t v) {
        const uint64_t code = uint64_t(v) + 1;
        unsigned length = 0;
        while ((code >> length) > 1)
            ++length;
        Bits(0, length);
        Bits(uint32_t(code), length + 1);
    }
    std::vector<uint8_t> Finish(uint8_t header) {
        bits.push_back(1); // stop bit
        while (bits.size() % 8 != 0)
            bits.push_back(0);
        std::vector<uint8_t> out{0, 0, 0, 1, header};
        unsigned zeros = 0;
        for (size_t i = 0; i < bits.size(); i += 8) {
            uint8_t byte = 0;
            for (size_t j = 0; j < 8; ++j)
                byte = uint8_t(byte << 1 | bits[i + j]);
            if (zeros >= 2 && byte <= 3) {
                out.push_back(3);
                zeros = 0;
            }
            out.push_back(byte);
            zeros = byte == 0 ? zeros + 1 : 0;
        }
        return out;
    }

private:
    std::vector<uint8_t> bits;
};

// A baseline key frame of `width` x `height`: parameter sets and the start
// of an intra slice (enough for a decoder to set up its pictures).
std::vector<uint8_t> KeyFrameDeclaring(unsigned width, unsigned height) {
    NalWriter sps;
    sps.Bits(66, 8); // baseline
    sps.Bits(0, 8);
    sps.Bits(51, 8); // level 5.1
    sps.Unsigned(0); // id
    sps.Unsigned(0); // frame numbers of 4 bits
    sps.Unsigned(2); // picture order from frame numbers
    sps.Unsigned(1); // one reference frame
    sps.Bits(0, 1);
    sps.Unsigned(width / 16 - 1);
    sps.Unsigned(height / 16 - 1);
    sps.Bits(0b110, 3); // frames only, direct 8x8, no cropping
    sps.Bits(0, 1);     // no usability information
    NalWriter pps;
    pps.Unsigned(0);
    pps.Unsigned(0);
    pps.Bits(0, 2);
    pps.Unsigned(0);
    pps.Unsigned(0);
    pps.Unsigned(0);
    pps.Bits(0, 3);
    pps.Unsigned(0);
    pps.Unsigned(0);
    pps.Unsigned(0);
    pps.Bits(0, 3);
    NalWriter slice;
    slice.Unsigned(0); // first macroblock
    slice.Unsigned(7); // intra
    slice.Unsigned(0); // picture parameter set
    slice.Bits(0, 4);  // frame number
    slice.Unsigned(0); // key frame id
    slice.Bits(0, 2);  // reference marking
    slice.Unsigned(0); // quantiser delta
    for (int i = 0; i < 64; ++i)
        slice.Bits(0xA5, 8);
    std::vector<uint8_t> unit = sps.Finish(0x67);
    for (const auto& part : {pps.Finish(0x68), slice.Finish(0x65)})
        unit.insert(unit.end(), part.begin(), part.end());
    return unit;
}

TEST(H264Units, SequenceSizesAreReadFromRealAndCraftedUnits) {
    const auto real = test::EncodeTestStream(2, 10, 0, true);
    if (real.empty())
        GTEST_SKIP() << "no H.264 encoder";
    ASSERT_TRUE(real[0].keyFrame);
    EXPECT_EQ(CheckUnitSize(real[0].data.data(), real[0].data.size(), 352, 288), UnitCheck::Accept);
    EXPECT_EQ(CheckUnitSize(real[0].data.data(), real[0].data.size(), 8192, 4320), UnitCheck::WrongSize);
    EXPECT_EQ(CheckUnitSize(real[1].data.data(), real[1].data.size(), 8192, 4320),
              UnitCheck::Accept); // no sets

    const auto huge = KeyFrameDeclaring(8192, 4320);
    const auto size = SequenceSize(huge.data() + 4, huge.size() - 4);
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->width, 8192u);
    EXPECT_EQ(size->height, 4320u);
    EXPECT_EQ(CheckUnitSize(huge.data(), huge.size(), 352, 288), UnitCheck::WrongSize);
    const auto right = KeyFrameDeclaring(352, 288);
    EXPECT_EQ(CheckUnitSize(right.data(), right.size(), 352, 288), UnitCheck::Accept);
    // A parameter set cut before its size cannot be judged: refused.
    const std::vector<uint8_t> cut(huge.begin(), huge.begin() + 9);
    EXPECT_EQ(CheckUnitSize(cut.data(), cut.size(), 352, 288), UnitCheck::Malformed);
}

class DroppingSink : public LiveSink {
public:
    void OnFrameHeader(const PictureHeader&) override {}
    void Deliver(unsigned, Bitmap) override { ++delivered; }
    void ResetCameras() override {}
    void RequestRepaint() override {}
    unsigned delivered = 0;
};

uint64_t StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::stoull(line.substr(std::strlen(field)));
    return 0;
}

constexpr uint64_t kBoundKb = 64 * 1024;

struct ChildResult {
    uint64_t growthKb = 0;
    uint64_t refused = 0;
    uint64_t delivered = 0;
};

// Feeds `units` round-robin to the 8 cameras of one connection in a child
// process (the stream must not cost this one its memory) and reports how far
// its peak resident size rose above where it started. The child stops as
// soon as the bound is passed.
ChildResult DecodeInChild(const std::vector<std::vector<uint8_t>>& units) {
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const uint64_t baseline = StatusKb("VmRSS:");
        DecoderSlots slots;
        DroppingSink sink;
        PictureHeader header;
        header.kind = kKindPicture;
        header.width = 320;
        header.height = 240;
        header.format = kFormatH264;
        for (size_t i = 0; i < units.size() && StatusKb("VmRSS:") <= baseline + kBoundKb; ++i) {
            header.camera = uint8_t(i % 8);
            slots.DecodeUnit(header.camera, header, 1, units[i].data(), units[i].size(), sink);
        }
        const uint64_t peak = StatusKb("VmHWM:");
        ChildResult r{peak > baseline ? peak - baseline : 0, slots.RefusedUnits(), sink.delivered};
        ssize_t written = ::write(fds[1], &r, sizeof r);
        ::_exit(written == sizeof r ? 0 : 1);
    }
    ::close(fds[1]);
    ChildResult r;
    r.growthKb = UINT64_MAX;
    if (::read(fds[0], &r, sizeof r) != sizeof r)
        r.growthKb = UINT64_MAX;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return r;
}

TEST(HostileH264, HugeDeclaredPicturesAreRefusedBeforeDecoding) {
    // Eight cameras declaring 8192 x 4320, forty key frames each.
    const std::vector<std::vector<uint8_t>> units(8 * 40, KeyFrameDeclaring(8192, 4320));
    const ChildResult r = DecodeInChild(units);
    RecordProperty("peak_growth_kb", std::to_string(r.growthKb));
    EXPECT_LE(r.growthKb, kBoundKb) << "peak rose by " << r.growthKb / 1024 << " MiB";
    EXPECT_EQ(r.refused, units.size());
    EXPECT_EQ(r.delivered, 0u);
}

// Start codes followed by random bytes: random parameter sets, slices and
// everything else a decoder can be handed.
std::vector<std::vector<uint8_t>> GarbageUnits(size_t count) {
    std::mt19937 random(23);
    std::vector<std::vector<uint8_t>> units(count);
    for (auto& unit : units) {
        for (int nal = 0; nal < 6; ++nal) {
            unit.insert(unit.end(), {0, 0, 1});
            const size_t length = 8 + random() % 700;
            for (size_t i = 0; i < length; ++i)
                unit.push_back(uint8_t(random()));
            unit[unit.size() - length] &= 0x7F; // a valid header bit, any type
        }
    }
    return units;
}

TEST(HostileH264, GarbageStaysWithinTheBoundAndItsLogIsRationed) {
    std::mutex lock;
    size_t decoderLines = 0, traced = 0;
    TraceSink previous = SetTraceSink([&](const std::string& line) {
        std::lock_guard<std::mutex> guard(lock);
        ++traced;
        if (line.rfind("H264Decoder::Log: ", 0) == 0)
            ++decoderLines;
    });
    // In this process, to see the trace: the log of the decoder goes there.
    const auto units = GarbageUnits(600);
    const auto start = std::chrono::steady_clock::now();
    {
        DecoderSlots slots;
        DroppingSink sink;
        PictureHeader header;
        header.width = 320;
        header.height = 240;
        header.format = kFormatH264;
        for (size_t i = 0; i < units.size(); ++i)
            slots.DecodeUnit(unsigned(i % 8), header, 1, units[i].data(), units[i].size(), sink);
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    SetTraceSink(previous);
    EXPECT_GT(decoderLines, 0u); // the decoder's complaints reach the trace...
    // ...at most ten a second, with a count of those left out.
    EXPECT_LE(decoderLines, size_t(seconds.count() + 1) * 2 * DecoderLogBudget::kLinesPerWindow);

    // The child's memory bound, on the first half (freed memory stays in the
    // address sanitizer's quarantine, so a longer run of an instrumented
    // build measures the sanitizer too).
    const ChildResult r = DecodeInChild({units.begin(), units.begin() + 300});
    RecordProperty("peak_growth_kb", std::to_string(r.growthKb));
    RecordProperty("decoder_lines", std::to_string(decoderLines));
    EXPECT_LE(r.growthKb, kBoundKb) << "peak rose by " << r.growthKb / 1024 << " MiB";
}

TEST(HostileH264, LogBudgetRationsLinesPerWindowAndCountsTheRest) {
    DecoderLogBudget budget;
    uint64_t skipped = 0;
    unsigned written = 0;
    for (int i = 0; i < 100; ++i)
        written += budget.Take(5000 + uint64_t(i), skipped);
    EXPECT_EQ(written, DecoderLogBudget::kLinesPerWindow);
    EXPECT_EQ(skipped, 0u);
    ASSERT_TRUE(budget.Take(5000 + DecoderLogBudget::kWindow_ms, skipped));
    EXPECT_EQ(skipped, 100u - DecoderLogBudget::kLinesPerWindow);
    ASSERT_TRUE(budget.Take(5000 + DecoderLogBudget::kWindow_ms + 1, skipped));
    EXPECT_EQ(skipped, 0u);
}

} // namespace
} // namespace korvex
