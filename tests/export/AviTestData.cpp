#include "export/AviTestData.h"

#include "framework/StringTable.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <map>
#include <stdexcept>

namespace korvex::test {

namespace {

void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

void PutCode(Bytes& b, const char* code) {
    b.insert(b.end(), code, code + 4);
}

struct JumpError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void JumpOnError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JumpError*>(cinfo->err)->jump, 1);
}

} // namespace

Bytes MakeJpeg(int width, int height, int components, int seed, int quality) {
    Bytes pixels(size_t(width * height * components));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < components; ++k)
                pixels[size_t((y * width + x) * components + k)] =
                    uint8_t((x * (k + 1) + y * 3 + seed * 17 + ((x ^ y) & 15)) & 255);
    return MakeJpegFromPixels(width, height, components, pixels, quality);
}

Bytes MakeJpegFromPixels(int width, int height, int components, const Bytes& pixels, int quality) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&c, &out, &outSize);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < height; ++y) {
        JSAMPROW r = const_cast<JSAMPROW>(pixels.data() + size_t(y * width * components));
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    Bytes result(out, out + outSize);
    jpeg_destroy_compress(&c);
    std::free(out);
    return result;
}

Bytes ChunkWithLength(const char* code, uint32_t length, const Bytes& data) {
    Bytes b;
    PutCode(b, code);
    Put32(b, length);
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1)
        b.push_back(0);
    return b;
}

Bytes Chunk(const char* code, const Bytes& data) {
    return ChunkWithLength(code, static_cast<uint32_t>(data.size()), data);
}

Bytes List(const char* type, const std::vector<Bytes>& children) {
    Bytes body;
    PutCode(body, type);
    for (const Bytes& c : children)
        body.insert(body.end(), c.begin(), c.end());
    return Chunk("LIST", body);
}

Bytes Riff(const char* form, const std::vector<Bytes>& children) {
    Bytes body;
    PutCode(body, form);
    for (const Bytes& c : children)
        body.insert(body.end(), c.begin(), c.end());
    return Chunk("RIFF", body);
}

Bytes MainHeader(uint32_t width, uint32_t height, uint32_t frames) {
    Bytes d;
    uint32_t fields[14] = {40000, 0, 0, 0x10, frames, 0, 2, 0, width, height, 0, 0, 0, 0};
    for (uint32_t f : fields)
        Put32(d, f);
    return Chunk("avih", d);
}

Bytes MakeRecording(const std::vector<Bytes>& frames, const RecordingOptions& o) {
    Bytes strh(56, 0), strf(40, 0), auds(56, 0), wave(16, 0);
    std::copy_n("vidsMJPG", 8, strh.begin());
    std::copy_n("auds", 4, auds.begin());
    std::vector<Bytes> hdrl = {MainHeader(o.width, o.height, uint32_t(frames.size())),
                               List("strl", {Chunk("strh", strh), Chunk("strf", strf)})};
    if (o.audio)
        hdrl.push_back(List("strl", {Chunk("strh", auds), Chunk("strf", wave)}));

    std::vector<Bytes> movi;
    Bytes index;
    uint32_t offset = 4;
    auto add = [&](const char* code, const Bytes& data) {
        PutCode(index, code);
        Put32(index, 0x10);
        Put32(index, offset);
        Put32(index, uint32_t(data.size()));
        movi.push_back(Chunk(code, data));
        offset += uint32_t(movi.back().size());
    };
    for (size_t i = 0; i < frames.size(); ++i) {
        add("00dc", frames[i]);
        if (o.audio)
            add("01wb", Bytes(101 + i % 7, uint8_t(i)));
    }

    std::vector<Bytes> body = {List("hdrl", hdrl)};
    if (o.extras) {
        body.push_back(Chunk("JUNK", Bytes(27, 0)));
        body.push_back(List("INFO", {Chunk("ISFT", Bytes{'r', 'e', 'c', 0})}));
    }
    body.push_back(List("movi", movi));
    if (o.extras)
        body.push_back(Chunk("idx1", index));
    return Riff("AVI ", body);
}

std::vector<Bytes> MakeFrames(int count, int width, int height, int firstSeed) {
    std::vector<Bytes> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(MakeJpeg(width, height, 3, firstSeed + i));
    return frames;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

JpegInfo InspectJpeg(const uint8_t* data, size_t size) {
    jpeg_decompress_struct d;
    JumpError err;
    d.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JumpOnError;
    JpegInfo info;
    jpeg_create_decompress(&d);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&d);
        return JpegInfo{};
    }
    jpeg_mem_src(&d, data, static_cast<unsigned long>(size));
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    JSAMPARRAY row = (*d.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&d), JPOOL_IMAGE,
                                            d.output_width * JDIMENSION(d.output_components), 1);
    while (d.output_scanline < d.output_height)
        jpeg_read_scanlines(&d, row, 1);
    info.components = d.num_components;
    info.width = int(d.output_width);
    info.height = int(d.output_height);
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return info;
}

void InstallNumberedTexts() {
    std::map<unsigned, std::string> table;
    for (unsigned id = 200; id < 300; ++id)
        table[id] = "E" + std::to_string(id);
    table[254] = "cannot read '";
    table[255] = "cannot write '";
    table[256] = "cannot open '";
    table[3200] = "refused '%s': %s.";
    table[3207] = "no folder";
    StringTable::Install(std::move(table));
}

} // namespace korvex::test
