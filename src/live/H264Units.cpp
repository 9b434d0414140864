#include "live/H264Units.h"

namespace korvex {

namespace {

constexpr unsigned kNalSequence = 7;
constexpr unsigned kNalSubsetSequence = 15;

// Reads the bits of one NAL unit's payload, skipping the emulation-prevention
// byte after every two zero bytes. Reading past the end sets `failed`.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t length) : data(data), length(length) {}

    unsigned Bit() {
        if (bit == 0) {
            if (!NextByte())
                return 0;
            bit = 8;
        }
        --bit;
        return (current >> bit) & 1u;
    }

    uint32_t Bits(unsigned n) {
        uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i)
            v = (v << 1) | Bit();
        return v;
    }

    // Exp-Golomb code; values above 2^31 - 2 are treated as malformed.
    uint32_t Unsigned() {
        unsigned zeros = 0;
        while (Bit() == 0 && !failed)
            if (++zeros > 31) {
                failed = true;
                return 0;
            }
        return failed ? 0 : (uint32_t(1) << zeros) - 1 + Bits(zeros);
    }

    int32_t Signed() {
        const uint32_t k = Unsigned();
        return (k & 1) ? int32_t((k + 1) / 2) : -int32_t(k / 2);
    }

    bool Failed() const { return failed; }

private:
    bool NextByte() {
        if (at < length && zeros >= 2 && data[at] == 3) {
            ++at; // emulation prevention
            zeros = 0;
        }
        if (at >= length) {
            failed = true;
            return false;
        }
        current = data[at++];
        zeros = current == 0 ? zeros + 1 : 0;
        return true;
    }

    const uint8_t* data;
    size_t length;
    size_t at = 0;
    unsigned zeros = 0;
    uint8_t current = 0;
    unsigned bit = 0;
    bool failed = false;
};

bool HasChromaFields(uint32_t profile) {
    switch (profile) {
    case 100:
    case 110:
    case 122:
    case 244:
    case 44:
    case 83:
    case 86:
    case 118:
    case 128:
    case 138:
    case 139:
    case 134:
    case 135:
        return true;
    default:
        return false;
    }
}

void SkipScalingList(BitReader& r, unsigned size) {
    int last = 8, next = 8;
    for (unsigned j = 0; j < size && !r.Failed(); ++j) {
        if (next != 0)
            next = (last + r.Signed() + 256) % 256;
        last = next == 0 ? last : next;
    }
}

// Start of the NAL unit after the start code at or after `from`; `length`
// when there is none.
size_t NextUnit(const uint8_t* data, size_t length, size_t from) {
    for (size_t i = from; i + 2 < length; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            return i + 3;
    return length;
}

} // namespace

std::optional<CodedSize> SequenceSize(const uint8_t* nal, size_t length) {
    if (length < 1 || (nal[0] & 0x80) != 0)
        return std::nullopt;
    const unsigned type = nal[0] & 0x1F;
    if (type != kNalSequence && type != kNalSubsetSequence)
        return std::nullopt;
    BitReader r(nal + 1, length - 1);
    const uint32_t profile = r.Bits(8);
    r.Bits(16);   // constraint flags, level
    r.Unsigned(); // parameter set id
    if (HasChromaFields(profile)) {
        const uint32_t chroma = r.Unsigned();
        if (chroma == 3)
            r.Bit();   // separate colour planes
        r.Unsigned();  // luma bit depth
        r.Unsigned();  // chroma bit depth
        r.Bit();       // transform bypass
        if (r.Bit()) { // scaling matrices
            for (unsigned i = 0; i < (chroma != 3 ? 8u : 12u) && !r.Failed(); ++i)
                if (r.Bit())
                    SkipScalingList(r, i < 6 ? 16 : 64);
        }
    }
    r.Unsigned(); // log2 of the largest frame number, minus 4
    const uint32_t orderType = r.Unsigned();
    if (orderType == 0) {
        r.Unsigned();
    } else if (orderType == 1) {
        r.Bit();
        r.Signed();
        r.Signed();
        const uint32_t cycle = r.Unsigned();
        if (cycle > 255)
            return std::nullopt;
        for (uint32_t i = 0; i < cycle && !r.Failed(); ++i)
            r.Signed();
    } else if (orderType > 2) {
        return std::nullopt;
    }
    r.Unsigned(); // reference frames
    r.Bit();      // gaps in frame numbers allowed
    const uint32_t widthMbs = r.Unsigned() + 1;
    const uint32_t heightUnits = r.Unsigned() + 1;
    const uint32_t frameMbsOnly = r.Bit();
    if (r.Failed() || widthMbs > 4096 || heightUnits > 4096)
        return std::nullopt;
    return CodedSize{widthMbs * 16, heightUnits * 16 * (frameMbsOnly ? 1 : 2)};
}

UnitCheck CheckUnitSize(const uint8_t* data, size_t length, unsigned width, unsigned height) {
    for (size_t at = NextUnit(data, length, 0); at < length;) {
        const size_t next = NextUnit(data, length, at);
        const unsigned type = data[at] & 0x1F;
        if (type == kNalSequence || type == kNalSubsetSequence) {
            // The unit ends where the next start code (with its zero bytes) begins.
            const size_t end = next == length ? length : next - 3;
            const auto size = SequenceSize(data + at, end - at);
            if (!size)
                return UnitCheck::Malformed;
            if (size->width != width || size->height != height)
                return UnitCheck::WrongSize;
        }
        at = next;
    }
    return UnitCheck::Accept;
}

} // namespace korvex
