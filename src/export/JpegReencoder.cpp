#include "export/JpegReencoder.h"

#include "export/AviFormat.h"
#include "framework/LocalException.h"
#include "framework/TextIds.h"

#include <csetjmp>
#include <cstdio>
// The library's header needs size_t and FILE declared first.
#include <jpeglib.h>

namespace korvex {

namespace {

// The library reports fatal errors through error_exit, which must not
// return; ours jumps back into Transcode with the error number that fits
// the stage that failed.
struct ErrorManager {
    jpeg_error_mgr pub;
    JpegReencoder::State* context;
    int failureCode;
};

} // namespace

// Everything the jumping code touches lives here, in memory the caller
// owns, so no local of the function that called setjmp changes between the
// jump and the return. The two library objects are kept from one picture to
// the next (their set-up is a good part of the cost of a small picture) and
// made again after a failure.
struct JpegReencoder::State {
    jpeg_decompress_struct in;
    jpeg_compress_struct out;
    ErrorManager inError;
    ErrorManager outError;
    jpeg_destination_mgr destination;
    std::jmp_buf jump;
    int failure = 0;
    bool inCreated = false;
    bool outCreated = false;
    uint8_t* output = nullptr;
    size_t capacity = kJpegOutputBuffer;
    size_t outputSize = 0;
    // The library asks for more room as soon as the buffer is full, before
    // it knows whether another byte follows. The first such request gets
    // this spare byte; only a byte actually written to it means the picture
    // does not fit.
    uint8_t spare[1] = {0};
    bool spilled = false;

    void Release() {
        if (outCreated)
            jpeg_destroy_compress(&out);
        if (inCreated)
            jpeg_destroy_decompress(&in);
        outCreated = inCreated = false;
    }
};

namespace {

using Context = JpegReencoder::State;

// Decoders built for the device's pictures never need more than this; a
// corrupt header that claims a giant picture fails instead of exhausting
// memory.
constexpr long kDecoderMemoryLimit = 256L * 1024 * 1024;

// Rows handed from the decoder to the encoder at a time (one row group of
// the usual 2 x 2 sampling).
constexpr JDIMENSION kBandRows = 16;

void OnFatalError(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    manager->context->failure = manager->failureCode;
    std::longjmp(manager->context->jump, 1);
}

// Warnings (corrupt data the library can work around) are not shown.
void OnMessage(j_common_ptr) {}

void InitDestination(j_compress_ptr cinfo) {
    auto* context = reinterpret_cast<Context*>(cinfo->client_data);
    context->spilled = false;
    cinfo->dest->next_output_byte = context->output;
    cinfo->dest->free_in_buffer = context->capacity;
}

// Called when the output buffer is full (first time: it may hold the whole
// picture exactly) and when the spare byte is full (the picture does not fit).
boolean EmptyDestination(j_compress_ptr cinfo) {
    auto* context = reinterpret_cast<Context*>(cinfo->client_data);
    if (!context->spilled) {
        context->spilled = true;
        cinfo->dest->next_output_byte = context->spare;
        cinfo->dest->free_in_buffer = sizeof context->spare;
        return TRUE;
    }
    (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
    return FALSE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* context = reinterpret_cast<Context*>(cinfo->client_data);
    if (!context->spilled)
        context->outputSize = context->capacity - cinfo->dest->free_in_buffer;
    else if (cinfo->dest->free_in_buffer == sizeof context->spare)
        context->outputSize = context->capacity; // filled exactly
    else
        (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
}

void SetUpErrors(Context& c, ErrorManager& manager, int failureCode) {
    jpeg_std_error(&manager.pub);
    manager.pub.error_exit = OnFatalError;
    manager.pub.output_message = OnMessage;
    manager.context = &c;
    manager.failureCode = failureCode;
}

// Returns 0 or the error number. Holds no object with a destructor, so the
// jump back from the library skips nothing.
int Transcode(Context& c, const uint8_t* data, size_t size) {
    SetUpErrors(c, c.inError, text::export_jpeg_decode_failed);
    SetUpErrors(c, c.outError, text::export_jpeg_encode_failed);
    c.in.err = &c.inError.pub;
    c.out.err = &c.outError.pub;
    if (setjmp(c.jump))
        return c.failure;

    if (!c.inCreated) {
        jpeg_create_decompress(&c.in);
        c.inCreated = true;
        c.in.mem->max_memory_to_use = kDecoderMemoryLimit;
    }
    jpeg_mem_src(&c.in, data, static_cast<unsigned long>(size));
    jpeg_read_header(&c.in, TRUE);
    jpeg_start_decompress(&c.in);
    const int components = c.in.output_components;
    if (components != 1 && components != 3)
        return 247; // CMYK and other layouts have no RGB meaning here
    const JDIMENSION width = c.in.output_width;
    const JDIMENSION height = c.in.output_height;

    // A band of RGB rows; for a grey picture the grey values are read into
    // the first third of each row and spread out from the end backwards.
    // Rows pass a band at a time, which spares the libraries a copy through
    // their spare row; the bytes produced are the same as row by row.
    c.inError.failureCode = 248;
    JSAMPARRAY band =
        (*c.in.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&c.in), JPOOL_IMAGE, width * 3, kBandRows);
    c.inError.failureCode = 247;

    if (!c.outCreated) {
        jpeg_create_compress(&c.out);
        c.outCreated = true;
        c.out.client_data = &c;
        c.destination.init_destination = InitDestination;
        c.destination.empty_output_buffer = EmptyDestination;
        c.destination.term_destination = TermDestination;
        c.out.dest = &c.destination;
    }
    c.out.image_width = width;
    c.out.image_height = height;
    c.out.input_components = 3;
    c.out.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c.out);
    jpeg_set_quality(&c.out, JpegReencoder::kQuality, TRUE);
    jpeg_start_compress(&c.out, TRUE);

    while (c.in.output_scanline < height) {
        JDIMENSION rows = jpeg_read_scanlines(&c.in, band, kBandRows);
        if (rows == 0)
            return 247;
        if (components == 1) {
            for (JDIMENSION r = 0; r < rows; ++r) {
                JSAMPLE* p = band[r];
                for (JDIMENSION x = width; x-- > 0;) {
                    JSAMPLE g = p[x];
                    p[3 * x] = g;
                    p[3 * x + 1] = g;
                    p[3 * x + 2] = g;
                }
            }
        }
        for (JDIMENSION done = 0; done < rows;) {
            JDIMENSION n = jpeg_write_scanlines(&c.out, band + done, rows - done);
            if (n == 0)
                return 249;
            done += n;
        }
    }
    jpeg_finish_compress(&c.out);
    jpeg_finish_decompress(&c.in);
    if (c.outputSize == 0)
        return 249;
    return 0;
}

} // namespace

JpegReencoder::JpegReencoder(size_t capacity) : state(new State) {
    state->capacity = capacity;
}

JpegReencoder::~JpegReencoder() {
    state->Release();
}

size_t JpegReencoder::Reencode(const uint8_t* data, size_t size, uint8_t* output) {
    State& c = *state;
    c.output = output;
    c.outputSize = 0;
    c.failure = 0;
    int failure = Transcode(c, data, size);
    if (failure != 0) {
        // A failed picture leaves the objects mid-way; start afresh.
        c.Release();
        RaiseError(static_cast<unsigned>(failure));
    }
    return c.outputSize;
}

} // namespace korvex
