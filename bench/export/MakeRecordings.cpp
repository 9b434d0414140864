// Writes recordings like a camera's for the export benchmark:
//   korvex-bench-make-recordings FOLDER FILES FRAMES [WIDTH HEIGHT]
// FOLDER/rec00.avi ... each with FRAMES JPEG frames of a moving, noisy scene,
// stream headers, a JUNK chunk and an idx1 index as a recorder writes them.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>
// The library's header needs size_t and FILE declared first.
#include <jpeglib.h>

namespace {

using Bytes = std::vector<unsigned char>;

void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void PutCode(Bytes& b, const char* code) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(code[i]));
}

Bytes Chunk(const char* code, const Bytes& data) {
    Bytes b;
    PutCode(b, code);
    Put32(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1)
        b.push_back(0);
    return b;
}

Bytes List(const char* type, const Bytes& content) {
    Bytes body;
    PutCode(body, type);
    body.insert(body.end(), content.begin(), content.end());
    return Chunk("LIST", body);
}

Bytes Encode(const Bytes& rgb, int width, int height, int quality) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + size_t(c.next_scanline) * size_t(width) * 3);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    Bytes result(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return result;
}

// A street-like scene: a gradient background with texture, two moving
// blocks and sensor noise.
Bytes Scene(int width, int height, int frame, std::mt19937& random) {
    Bytes rgb(size_t(width) * size_t(height) * 3);
    std::uniform_int_distribution<int> noise(-10, 10);
    int carX = (frame * 3) % (width + 80) - 80, personX = width - (frame % width);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int base = 60 + y / 2 + ((x / 8 + y / 8) % 2) * 20 + ((x * 7 + y * 13) % 23);
            int r = base, g = base + 10, b = base - 10;
            if (x >= carX && x < carX + 80 && y > 150 && y < 200)
                r = 200, g = 40, b = 30;
            if (x >= personX && x < personX + 12 && y > 100 && y < 160)
                r = 30, g = 40, b = 160;
            int n = noise(random);
            unsigned char* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
            p[0] = static_cast<unsigned char>(std::clamp(r + n, 0, 255));
            p[1] = static_cast<unsigned char>(std::clamp(g + n, 0, 255));
            p[2] = static_cast<unsigned char>(std::clamp(b + n, 0, 255));
        }
    }
    return rgb;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 6) {
        std::fprintf(stderr, "usage: %s FOLDER FILES FRAMES [WIDTH HEIGHT]\n", argv[0]);
        return 2;
    }
    std::string folder = argv[1];
    int files = std::atoi(argv[2]), frames = std::atoi(argv[3]);
    int width = argc == 6 ? std::atoi(argv[4]) : 320, height = argc == 6 ? std::atoi(argv[5]) : 240;
    std::mt19937 random(12345);
    for (int f = 0; f < files; ++f) {
        Bytes avih, strh(56, 0), strf(40, 0), movi, index;
        for (uint32_t v : {160000u, 1000000u, 0u, 0x10u, uint32_t(frames), 0u, 1u, 0u, uint32_t(width),
                           uint32_t(height), 0u, 0u, 0u, 0u})
            Put32(avih, v);
        // Stream header and format of an MJPG stream at 6.25 frames per second.
        strh.clear();
        strh.insert(strh.end(), {'v', 'i', 'd', 's', 'M', 'J', 'P', 'G'});
        for (uint32_t v : {0u, 0u, 0u, 160000u, 1000000u, 0u, uint32_t(frames), 0u, 10000u, 0u})
            Put32(strh, v);
        Put32(strh, 0);
        Put32(strh, uint32_t(width) | uint32_t(height) << 16);
        strf.clear();
        for (uint32_t v : {40u, uint32_t(width), uint32_t(height), 1u | 24u << 16})
            Put32(strf, v);
        strf.insert(strf.end(), {'M', 'J', 'P', 'G'});
        for (uint32_t v : {uint32_t(width * height * 3), 0u, 0u, 0u, 0u})
            Put32(strf, v);
        uint32_t offset = 4;
        for (int i = 0; i < frames; ++i) {
            Bytes jpeg = Encode(Scene(width, height, f * frames + i, random), width, height, 88);
            Bytes chunk = Chunk("00dc", jpeg);
            PutCode(index, "00dc");
            Put32(index, 0x10);
            Put32(index, offset);
            Put32(index, static_cast<uint32_t>(jpeg.size()));
            offset += static_cast<uint32_t>(chunk.size());
            movi.insert(movi.end(), chunk.begin(), chunk.end());
        }
        Bytes strl = Chunk("strh", strh);
        Bytes strfChunk = Chunk("strf", strf);
        strl.insert(strl.end(), strfChunk.begin(), strfChunk.end());
        Bytes hdrlContent = Chunk("avih", avih);
        Bytes strlList = List("strl", strl);
        hdrlContent.insert(hdrlContent.end(), strlList.begin(), strlList.end());
        Bytes body;
        PutCode(body, "AVI ");
        for (const Bytes& part : {List("hdrl", hdrlContent), Chunk("JUNK", Bytes(100, 0)), List("movi", movi),
                                  Chunk("idx1", index)})
            body.insert(body.end(), part.begin(), part.end());
        Bytes file = Chunk("RIFF", body);
        char name[32];
        std::snprintf(name, sizeof name, "/rec%02d.avi", f);
        std::FILE* out = std::fopen((folder + name).c_str(), "wb");
        if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size() || std::fclose(out) != 0) {
            std::fprintf(stderr, "cannot write %s%s\n", folder.c_str(), name);
            return 1;
        }
    }
    return 0;
}
