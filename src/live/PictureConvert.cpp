#include "live/PictureConvert.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define KORVEX_X86 1
#include <immintrin.h>
#endif

namespace korvex {

namespace {

inline uint8_t Clamp(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// One converted pixel written as blue, green, red bytes.
inline void PutYuv(uint8_t* out, int y, int u, int v) {
    const int c = 298 * (y - 16) + 128;
    const int d = u - 128, e = v - 128;
    out[0] = Clamp((c + 516 * d) >> 8);
    out[1] = Clamp((c - 100 * d - 208 * e) >> 8);
    out[2] = Clamp((c + 409 * e) >> 8);
}

// --- portable fast forms: row pointers instead of checked pixel access ---

void GreyPortable(const uint8_t* src, uint8_t* dst, size_t n) {
    for (size_t i = 0; i < n; ++i, dst += 3)
        dst[0] = dst[1] = dst[2] = src[i];
}

void Colour16Portable(const uint8_t* src, uint8_t* dst, size_t n) {
    for (size_t i = 0; i < n; ++i, dst += 3) {
        const unsigned v = unsigned(src[2 * i]) | unsigned(src[2 * i + 1]) << 8;
        dst[0] = uint8_t((v & 0x1F) << 3);
        dst[1] = uint8_t((v >> 3) & 0xFC);
        dst[2] = uint8_t((v >> 8) & 0xF8);
    }
}

void I420RowPortable(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int width) {
    for (int c = 0; c < width; ++c, dst += 3)
        PutYuv(dst, y[c], u[c / 2], v[c / 2]);
}

#ifdef KORVEX_X86

// pshufb masks that spread three 16-byte channel vectors (blue, green, red)
// over 48 interleaved bytes; masks[o][ch] feeds output vector o from channel
// ch. Index 0x80 writes zero.
struct InterleaveMasks {
    alignas(16) uint8_t m[3][3][16];
    constexpr InterleaveMasks() : m{} {
        for (int o = 0; o < 3; ++o)
            for (int ch = 0; ch < 3; ++ch)
                for (int k = 0; k < 16; ++k) {
                    const int n = 16 * o + k;
                    m[o][ch][k] = uint8_t(n % 3 == ch ? n / 3 : 0x80);
                }
    }
};
constexpr InterleaveMasks kInterleave;

// Grey: one source vector feeds all three channels.
struct GreyMasks {
    alignas(16) uint8_t m[3][16];
    constexpr GreyMasks() : m{} {
        for (int o = 0; o < 3; ++o)
            for (int k = 0; k < 16; ++k)
                m[o][k] = uint8_t((16 * o + k) / 3);
    }
};
constexpr GreyMasks kGreyMasks;

__attribute__((target("ssse3"))) inline void Store48(uint8_t* dst, __m128i b, __m128i g, __m128i r) {
    for (int o = 0; o < 3; ++o) {
        const __m128i mb = _mm_load_si128(reinterpret_cast<const __m128i*>(kInterleave.m[o][0]));
        const __m128i mg = _mm_load_si128(reinterpret_cast<const __m128i*>(kInterleave.m[o][1]));
        const __m128i mr = _mm_load_si128(reinterpret_cast<const __m128i*>(kInterleave.m[o][2]));
        const __m128i x = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(b, mb), _mm_shuffle_epi8(g, mg)), _mm_shuffle_epi8(r, mr));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16 * o), x);
    }
}

__attribute__((target("ssse3"))) void GreySsse3(const uint8_t* src, uint8_t* dst, size_t n) {
    const __m128i m0 = _mm_load_si128(reinterpret_cast<const __m128i*>(kGreyMasks.m[0]));
    const __m128i m1 = _mm_load_si128(reinterpret_cast<const __m128i*>(kGreyMasks.m[1]));
    const __m128i m2 = _mm_load_si128(reinterpret_cast<const __m128i*>(kGreyMasks.m[2]));
    size_t i = 0;
    for (; i + 16 <= n; i += 16, dst += 48) {
        const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_shuffle_epi8(g, m0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), _mm_shuffle_epi8(g, m1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 32), _mm_shuffle_epi8(g, m2));
    }
    GreyPortable(src + i, dst, n - i);
}

__attribute__((target("ssse3"))) void Colour16Ssse3(const uint8_t* src, uint8_t* dst, size_t n) {
    const __m128i m1f = _mm_set1_epi16(0x1F), mfc = _mm_set1_epi16(0xFC), mf8 = _mm_set1_epi16(0xF8);
    size_t i = 0;
    for (; i + 16 <= n; i += 16, dst += 48) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * i));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * i + 16));
        const __m128i b = _mm_packus_epi16(_mm_slli_epi16(_mm_and_si128(lo, m1f), 3), _mm_slli_epi16(_mm_and_si128(hi, m1f), 3));
        const __m128i g = _mm_packus_epi16(_mm_and_si128(_mm_srli_epi16(lo, 3), mfc), _mm_and_si128(_mm_srli_epi16(hi, 3), mfc));
        const __m128i r = _mm_packus_epi16(_mm_and_si128(_mm_srli_epi16(lo, 8), mf8), _mm_and_si128(_mm_srli_epi16(hi, 8), mf8));
        Store48(dst, b, g, r);
    }
    Colour16Portable(src + 2 * i, dst, n - i);
}

// Eight pixels of one channel: pairs (a, b) of 16-bit values times the
// coefficient pair packed in `k`, plus `bias`, shifted right by 8 and
// narrowed to 16 bits with saturation (the later byte pack clamps to 0-255
// exactly: every intermediate fits, so nothing is approximated).
__attribute__((target("ssse3"))) inline __m128i Channel8(__m128i a, __m128i b, __m128i k, __m128i bias) {
    const __m128i lo = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), k), bias), 8);
    const __m128i hi = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), k), bias), 8);
    return _mm_packs_epi32(lo, hi);
}

// As Channel8 with a third term: pairs (a, b) times k1 plus pairs (c, 1)
// times k2 (k2 carries the bias in its upper half).
__attribute__((target("ssse3"))) inline __m128i Channel8x3(__m128i a, __m128i b, __m128i k1, __m128i c, __m128i k2) {
    const __m128i one = _mm_set1_epi16(1);
    const __m128i lo = _mm_srai_epi32(
        _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), k1), _mm_madd_epi16(_mm_unpacklo_epi16(c, one), k2)), 8);
    const __m128i hi = _mm_srai_epi32(
        _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), k1), _mm_madd_epi16(_mm_unpackhi_epi16(c, one), k2)), 8);
    return _mm_packs_epi32(lo, hi);
}

inline int Pair(int lowCoefficient, int highCoefficient) {
    return int(uint32_t(uint16_t(int16_t(highCoefficient))) << 16 | uint16_t(int16_t(lowCoefficient)));
}

__attribute__((target("ssse3"))) void I420RowSsse3(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int width) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i k16 = _mm_set1_epi16(16), k128 = _mm_set1_epi16(128);
    const __m128i kR = _mm_set1_epi32(Pair(298, 409));   // (y, v)
    const __m128i kB = _mm_set1_epi32(Pair(298, 516));   // (y, u)
    const __m128i kG1 = _mm_set1_epi32(Pair(298, -100)); // (y, u)
    const __m128i kG2 = _mm_set1_epi32(Pair(-208, 128)); // (v, 1)
    const __m128i bias = _mm_set1_epi32(128);
    int c = 0;
    for (; c + 16 <= width; c += 16, dst += 48) {
        const __m128i y8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + c));
        const __m128i u8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + c / 2));
        const __m128i v8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + c / 2));
        const __m128i uu = _mm_unpacklo_epi8(u8, u8), vv = _mm_unpacklo_epi8(v8, v8);
        const __m128i ylo = _mm_sub_epi16(_mm_unpacklo_epi8(y8, zero), k16);
        const __m128i yhi = _mm_sub_epi16(_mm_unpackhi_epi8(y8, zero), k16);
        const __m128i ulo = _mm_sub_epi16(_mm_unpacklo_epi8(uu, zero), k128);
        const __m128i uhi = _mm_sub_epi16(_mm_unpackhi_epi8(uu, zero), k128);
        const __m128i vlo = _mm_sub_epi16(_mm_unpacklo_epi8(vv, zero), k128);
        const __m128i vhi = _mm_sub_epi16(_mm_unpackhi_epi8(vv, zero), k128);
        const __m128i r = _mm_packus_epi16(Channel8(ylo, vlo, kR, bias), Channel8(yhi, vhi, kR, bias));
        const __m128i b = _mm_packus_epi16(Channel8(ylo, ulo, kB, bias), Channel8(yhi, uhi, kB, bias));
        const __m128i g = _mm_packus_epi16(Channel8x3(ylo, ulo, kG1, vlo, kG2), Channel8x3(yhi, uhi, kG1, vhi, kG2));
        Store48(dst, b, g, r);
    }
    I420RowPortable(y + c, u + c / 2, v + c / 2, dst, width - c);
}

// The AVX2 path works in 16-bit lanes throughout. With Y' = Y - 16,
// U' = U - 128, V' = V - 128 the formula splits exactly into a whole part
// and a remainder that fits 16 bits:
//   298 Y' + 409 V' + 128         = 256 (Y' + V')   + (42 Y' + 153 V' + 128)
//   298 Y' - 100 U' - 208 V' + 128 = 256 (Y' - V')  + (42 Y' - 100 U' + 48 V' + 128)
//   298 Y' + 516 U' + 128         = 256 (Y' + 2 U') + (42 Y' + 4 U' + 128)
// and an arithmetic shift of 256 k + x by 8 is k + (x >> 8). Every
// remainder lies within -20128 ... 29597, so nothing saturates or wraps,
// and the final byte pack clamps to 0-255 as the formula does.
struct ChromaTerms {
    __m256i v, u2, kR, kG, kB;  // V', 2 U' and the three remainders' chroma parts
};

__attribute__((target("avx2"))) inline ChromaTerms Chroma16(__m256i u, __m256i v) {
    const __m256i bias = _mm256_set1_epi16(128);
    ChromaTerms t;
    t.v = v;
    t.u2 = _mm256_add_epi16(u, u);
    t.kR = _mm256_add_epi16(_mm256_mullo_epi16(v, _mm256_set1_epi16(153)), bias);
    t.kG = _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(u, _mm256_set1_epi16(-100)),
                                             _mm256_mullo_epi16(v, _mm256_set1_epi16(48))),
                            bias);
    t.kB = _mm256_add_epi16(_mm256_slli_epi16(u, 2), bias);
    return t;
}

// Sixteen pixels of one row: blue, green and red as 16-bit values.
__attribute__((target("avx2"))) inline void Pixels16(__m256i y, const ChromaTerms& t, __m256i& b, __m256i& g, __m256i& r) {
    const __m256i k = _mm256_mullo_epi16(y, _mm256_set1_epi16(42));
    r = _mm256_add_epi16(_mm256_add_epi16(y, t.v), _mm256_srai_epi16(_mm256_add_epi16(k, t.kR), 8));
    g = _mm256_add_epi16(_mm256_sub_epi16(y, t.v), _mm256_srai_epi16(_mm256_add_epi16(k, t.kG), 8));
    b = _mm256_add_epi16(_mm256_add_epi16(y, t.u2), _mm256_srai_epi16(_mm256_add_epi16(k, t.kB), 8));
}

// Writes 32 pixels (96 bytes). The bytes arrive from the packs lane-split:
// lane 0 holds pixels 0-7 and 16-23, lane 1 pixels 8-15 and 24-31.
__attribute__((target("avx2"))) inline void Store96(uint8_t* dst, __m256i b, __m256i g, __m256i r) {
    const __m256i compact = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6,
                                             8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i bgLo = _mm256_unpacklo_epi8(b, g), bgHi = _mm256_unpackhi_epi8(b, g);
    const __m256i r0Lo = _mm256_unpacklo_epi8(r, zero), r0Hi = _mm256_unpackhi_epi8(r, zero);
    const __m256i p0 = _mm256_shuffle_epi8(_mm256_unpacklo_epi16(bgLo, r0Lo), compact);  // 0-3 | 8-11
    const __m256i p1 = _mm256_shuffle_epi8(_mm256_unpackhi_epi16(bgLo, r0Lo), compact);  // 4-7 | 12-15
    const __m256i p2 = _mm256_shuffle_epi8(_mm256_unpacklo_epi16(bgHi, r0Hi), compact);  // 16-19 | 24-27
    const __m256i p3 = _mm256_shuffle_epi8(_mm256_unpackhi_epi16(bgHi, r0Hi), compact);  // 20-23 | 28-31
    // 16-byte stores in rising address order, each one's 4 spare bytes
    // overwritten by the next; the last store writes exactly 12 bytes.
    auto* out = reinterpret_cast<__m128i*>(dst);
    _mm_storeu_si128(out, _mm256_castsi256_si128(p0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 12), _mm256_castsi256_si128(p1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 24), _mm256_extracti128_si256(p0, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 36), _mm256_extracti128_si256(p1, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 48), _mm256_castsi256_si128(p2));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 60), _mm256_castsi256_si128(p3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 72), _mm256_extracti128_si256(p2, 1));
    const __m128i last = _mm256_extracti128_si256(p3, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 84), last);
    const int tail = _mm_extract_epi32(last, 2);
    std::memcpy(dst + 92, &tail, 4);
}

// 16-bit colour, 32 pixels per step: the packs leave the bytes lane-split
// exactly as Store96 expects.
__attribute__((target("avx2"))) void Colour16Avx2(const uint8_t* src, uint8_t* dst, size_t n) {
    const __m256i m1f = _mm256_set1_epi16(0x1F), mfc = _mm256_set1_epi16(0xFC), mf8 = _mm256_set1_epi16(0xF8);
    size_t i = 0;
    for (; i + 32 <= n; i += 32, dst += 96) {
        const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * i));
        const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * i + 32));
        const __m256i b = _mm256_packus_epi16(_mm256_slli_epi16(_mm256_and_si256(lo, m1f), 3),
                                              _mm256_slli_epi16(_mm256_and_si256(hi, m1f), 3));
        const __m256i g = _mm256_packus_epi16(_mm256_and_si256(_mm256_srli_epi16(lo, 3), mfc),
                                              _mm256_and_si256(_mm256_srli_epi16(hi, 3), mfc));
        const __m256i r = _mm256_packus_epi16(_mm256_and_si256(_mm256_srli_epi16(lo, 8), mf8),
                                              _mm256_and_si256(_mm256_srli_epi16(hi, 8), mf8));
        Store96(dst, b, g, r);
    }
    Colour16Portable(src + 2 * i, dst, n - i);
}

// Two rows that share one chroma row, 32 pixels per step. `y1`/`dst1` may
// be null for a single row.
__attribute__((target("avx2"))) void I420RowsAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                                                  uint8_t* dst0, uint8_t* dst1, int width) {
    const __m256i k16 = _mm256_set1_epi16(16), k128 = _mm256_set1_epi16(128);
    int c = 0;
    for (; c + 32 <= width; c += 32) {
        const __m128i u8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + c / 2));
        const __m128i v8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + c / 2));
        const ChromaTerms ta = Chroma16(_mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(u8, u8)), k128),
                                        _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(v8, v8)), k128));
        const ChromaTerms tb = Chroma16(_mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_unpackhi_epi8(u8, u8)), k128),
                                        _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_unpackhi_epi8(v8, v8)), k128));
        for (int row = 0; row < 2; ++row) {
            const uint8_t* y = row == 0 ? y0 : y1;
            if (y == nullptr)
                break;
            const __m256i ya = _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y + c))), k16);
            const __m256i yb = _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y + c + 16))), k16);
            __m256i ba, ga, ra, bb, gb, rb;
            Pixels16(ya, ta, ba, ga, ra);
            Pixels16(yb, tb, bb, gb, rb);
            Store96((row == 0 ? dst0 : dst1) + 3 * c, _mm256_packus_epi16(ba, bb), _mm256_packus_epi16(ga, gb),
                    _mm256_packus_epi16(ra, rb));
        }
    }
    if (c < width) {
        I420RowPortable(y0 + c, u + c / 2, v + c / 2, dst0 + 3 * c, width - c);
        if (y1 != nullptr)
            I420RowPortable(y1 + c, u + c / 2, v + c / 2, dst1 + 3 * c, width - c);
    }
}

#endif

enum class Path { Portable, Ssse3, Avx2 };

Path BestPath() {
#ifdef KORVEX_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return Path::Avx2;
    if (__builtin_cpu_supports("ssse3"))
        return Path::Ssse3;
#endif
    return Path::Portable;
}

Path& CurrentPath() {
    static Path path = BestPath();
    return path;
}

} // namespace

uint32_t YuvToColour(uint8_t y, uint8_t u, uint8_t v) {
    uint8_t bgr[3];
    PutYuv(bgr, y, u, v);
    return uint32_t(bgr[0]) << 16 | uint32_t(bgr[1]) << 8 | bgr[2];
}

void ConvertGreyReference(const uint8_t* payload, Bitmap& picture) {
    const uint32_t w = picture.Width(), h = picture.Height();
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t c = 0; c < w; ++c) {
            const uint32_t v = payload[size_t(r) * w + c];
            picture.SetPixelColour(c, r, v << 16 | v << 8 | v);
        }
}

void ConvertColour16Reference(const uint8_t* payload, Bitmap& picture) {
    const uint32_t w = picture.Width(), h = picture.Height();
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t c = 0; c < w; ++c) {
            const uint8_t* p = payload + 2 * (size_t(r) * w + c);
            const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8;
            const uint32_t red = (v >> 8) & 0xF8, green = (v >> 3) & 0xFC, blue = (v & 0x1F) << 3;
            picture.SetPixelColour(c, r, blue << 16 | green << 8 | red);
        }
}

void ConvertI420WindowReference(const I420Planes& p, int left, int top, Bitmap& picture) {
    const uint32_t w = picture.Width(), h = picture.Height();
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t c = 0; c < w; ++c) {
            const int x = left + int(c), y = top + int(r);
            picture.SetPixelColour(c, r,
                                   YuvToColour(p.y[y * p.yStride + x], p.u[(y / 2) * p.uStride + x / 2],
                                               p.v[(y / 2) * p.vStride + x / 2]));
        }
}

void ConvertGrey(const uint8_t* payload, Bitmap& picture) {
    const size_t n = size_t(picture.Width()) * picture.Height();
    if (n == 0)
        return;
#ifdef KORVEX_X86
    if (CurrentPath() != Path::Portable)
        return GreySsse3(payload, picture.Row(0), n);
#endif
    GreyPortable(payload, picture.Row(0), n);
}

void ConvertColour16(const uint8_t* payload, Bitmap& picture) {
    const size_t n = size_t(picture.Width()) * picture.Height();
    if (n == 0)
        return;
#ifdef KORVEX_X86
    if (CurrentPath() == Path::Avx2)
        return Colour16Avx2(payload, picture.Row(0), n);
    if (CurrentPath() == Path::Ssse3)
        return Colour16Ssse3(payload, picture.Row(0), n);
#endif
    Colour16Portable(payload, picture.Row(0), n);
}

void ConvertI420Window(const I420Planes& p, int left, int top, Bitmap& picture) {
    const int w = int(picture.Width()), h = int(picture.Height());
    auto row = I420RowPortable;
#ifdef KORVEX_X86
    if (CurrentPath() == Path::Avx2) {
        // Row pairs that share a chroma row are converted together.
        for (int r = 0; r < h;) {
            const int y = top + r;
            const bool pair = y % 2 == 0 && r + 1 < h;
            const uint8_t* u = p.u + size_t(y / 2) * p.uStride + left / 2;
            const uint8_t* v = p.v + size_t(y / 2) * p.vStride + left / 2;
            I420RowsAvx2(p.y + size_t(y) * p.yStride + left, pair ? p.y + size_t(y + 1) * p.yStride + left : nullptr, u, v,
                         picture.Row(uint32_t(r)), pair ? picture.Row(uint32_t(r + 1)) : nullptr, w);
            r += pair ? 2 : 1;
        }
        return;
    }
    if (CurrentPath() == Path::Ssse3)
        row = I420RowSsse3;
#endif
    for (int r = 0; r < h; ++r) {
        const int y = top + r;
        row(p.y + size_t(y) * p.yStride + left, p.u + size_t(y / 2) * p.uStride + left / 2,
            p.v + size_t(y / 2) * p.vStride + left / 2, picture.Row(uint32_t(r)), w);
    }
}

const char* ConversionPath() {
    switch (CurrentPath()) {
    case Path::Avx2:
        return "avx2";
    case Path::Ssse3:
        return "ssse3";
    default:
        return "portable";
    }
}

void ForceConversionPath(const char* name) {
    const Path best = BestPath();
    Path want = best;
    if (name != nullptr) {
        if (std::strcmp(name, "portable") == 0)
            want = Path::Portable;
        else if (std::strcmp(name, "ssse3") == 0 && best != Path::Portable)
            want = Path::Ssse3;
        else if (std::strcmp(name, "avx2") == 0 && best == Path::Avx2)
            want = Path::Avx2;
    }
    CurrentPath() = want;
}

} // namespace korvex
