#include "bfgt/picture/JpegCodec.h"

#include "framework/filesystem/zStream.h"
#include "framework/system/zLogStream.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <jerror.h>
#include <jpeglib.h>

namespace {

constexpr size_t InputBufferSize = 4096;
constexpr int32_t MaxJpegSize = 65500;

// Error manager whose error exit jumps back to the call instead of exit().
struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    const char* origin;
    bool failing;
};

void JpegOutputMessage(j_common_ptr cinfo)
{
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    if (manager->failing)
        LogError(manager->origin) << "libjpeg: " << text << ".\n";
    else
        LogWarning(manager->origin) << "libjpeg: " << text << ".\n";
}

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo)
{
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    manager->failing = true;
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(manager->jump, 1);
}

void SetupErrorManager(JpegErrorManager& manager, const char* origin)
{
    jpeg_std_error(&manager.pub);
    manager.pub.error_exit = JpegErrorExit;
    manager.pub.output_message = JpegOutputMessage;
    manager.origin = origin;
    manager.failing = false;
}

// Serves a whole file held in memory to the decompressor, 4096 bytes at a time.
struct JpegMemorySource {
    jpeg_source_mgr pub;
    JOCTET* buffer;
    const uint8_t* base;
    size_t size;
    size_t position;
    bool startOfFile;
};

void JpegSourceInit(j_decompress_ptr cinfo)
{
    reinterpret_cast<JpegMemorySource*>(cinfo->src)->startOfFile = true;
}

boolean JpegSourceFill(j_decompress_ptr cinfo)
{
    auto* source = reinterpret_cast<JpegMemorySource*>(cinfo->src);
    size_t count = std::min(source->size - source->position, InputBufferSize);
    if (count == 0) {
        if (source->startOfFile)
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // A file cut short ends as if its end-of-image marker had been there.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        count = 2;
    } else {
        std::memcpy(source->buffer, source->base + source->position, count);
        source->position += count;
    }
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = count;
    source->startOfFile = false;
    return TRUE;
}

void JpegSourceSkip(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr* source = cinfo->src;
    while (count > long(source->bytes_in_buffer)) {
        count -= long(source->bytes_in_buffer);
        JpegSourceFill(cinfo);
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= size_t(count);
}

void JpegSourceTerm(j_decompress_ptr) {}

void JpegSourceSetup(j_decompress_ptr cinfo, const uint8_t* base, size_t size)
{
    if (cinfo->src == nullptr) {
        auto* source = static_cast<JpegMemorySource*>(
            (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegMemorySource)));
        source->buffer = static_cast<JOCTET*>(
            (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, InputBufferSize));
        cinfo->src = &source->pub;
    }
    auto* source = reinterpret_cast<JpegMemorySource*>(cinfo->src);
    std::memset(source->buffer, 0, InputBufferSize);
    source->pub.init_source = JpegSourceInit;
    source->pub.fill_input_buffer = JpegSourceFill;
    source->pub.skip_input_data = JpegSourceSkip;
    source->pub.resync_to_restart = jpeg_resync_to_restart;
    source->pub.term_source = JpegSourceTerm;
    source->pub.bytes_in_buffer = 0;
    source->pub.next_input_byte = nullptr;
    source->base = base;
    source->size = size;
    source->position = 0;
    source->startOfFile = true;
}

// Collects the compressed file in a growing buffer from the C allocator.
struct JpegMemoryDestination {
    jpeg_destination_mgr pub;
    JOCTET* buffer;
    size_t capacity;
};

void JpegDestinationInit(j_compress_ptr cinfo)
{
    auto* destination = reinterpret_cast<JpegMemoryDestination*>(cinfo->dest);
    destination->capacity = 65536;
    destination->buffer = static_cast<JOCTET*>(std::malloc(destination->capacity));
    if (destination->buffer == nullptr)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    destination->pub.next_output_byte = destination->buffer;
    destination->pub.free_in_buffer = destination->capacity;
}

boolean JpegDestinationEmpty(j_compress_ptr cinfo)
{
    auto* destination = reinterpret_cast<JpegMemoryDestination*>(cinfo->dest);
    const size_t grown = destination->capacity * 2;
    auto* buffer = static_cast<JOCTET*>(std::realloc(destination->buffer, grown));
    if (buffer == nullptr)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
    destination->buffer = buffer;
    destination->pub.next_output_byte = buffer + destination->capacity;
    destination->pub.free_in_buffer = grown - destination->capacity;
    destination->capacity = grown;
    return TRUE;
}

void JpegDestinationTerm(j_compress_ptr) {}

// Everything a decode touches after its jump point lives here, outside the
// function that calls setjmp, so it keeps its value across the jump.
struct DecodeJob {
    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
    bool created = false;
    uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
};

bool RunDecode(DecodeJob& job, const uint8_t* data, size_t size)
{
    SetupErrorManager(job.error, "JpegCodec::Decode");
    job.cinfo.err = &job.error.pub;
    if (setjmp(job.error.jump)) {
        if (job.created)
            jpeg_destroy_decompress(&job.cinfo);
        std::free(job.pixels);
        job.pixels = nullptr;
        return false;
    }
    jpeg_create_decompress(&job.cinfo);
    job.created = true;
    JpegSourceSetup(&job.cinfo, data, size);
    jpeg_read_header(&job.cinfo, TRUE);
    // The size is checked before the library allocates for it.
    if (zPicture::BufferBytes(int32_t(job.cinfo.image_width), int32_t(job.cinfo.image_height), 32) == 0) {
        LogError("JpegCodec::Decode") << "JPEG picture too large (" << job.cinfo.image_width << "x"
                                      << job.cinfo.image_height << ").\n";
        jpeg_destroy_decompress(&job.cinfo);
        return false;
    }
    // Grey files come out as RGB, so every file has 3 or 4 components.
    if (job.cinfo.jpeg_color_space == JCS_GRAYSCALE)
        job.cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&job.cinfo);

    const int components = job.cinfo.output_components;
    const uint64_t bytes = zPicture::BufferBytes(int32_t(job.cinfo.output_width), int32_t(job.cinfo.output_height), 32);
    if ((components != 3 && components != 4) || bytes == 0) {
        LogError("JpegCodec::Decode") << "Unsupported JPEG output (" << components << " components, "
                                      << job.cinfo.output_width << "x" << job.cinfo.output_height << ").\n";
        jpeg_destroy_decompress(&job.cinfo);
        return false;
    }
    job.width = int32_t(job.cinfo.output_width);
    job.height = int32_t(job.cinfo.output_height);
    job.pixels = static_cast<uint8_t*>(std::malloc(size_t(bytes)));
    if (job.pixels == nullptr) {
        jpeg_destroy_decompress(&job.cinfo);
        return false;
    }
    JSAMPARRAY row = (*job.cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&job.cinfo), JPOOL_IMAGE,
                                                     JDIMENSION(job.width * components), 1);
    while (job.cinfo.output_scanline < job.cinfo.output_height) {
        const size_t y = job.cinfo.output_scanline;
        if (jpeg_read_scanlines(&job.cinfo, row, 1) != 1) {
            LogError("JpegCodec::Decode") << "JPEG scanline " << int32_t(y) << " could not be read.\n";
            jpeg_destroy_decompress(&job.cinfo);
            std::free(job.pixels);
            job.pixels = nullptr;
            return false;
        }
        const JSAMPLE* in = row[0];
        uint8_t* out = job.pixels + y * size_t(job.width) * 4;
        for (int32_t x = 0; x < job.width; ++x, out += 4) {
            // A fourth component comes first and lands in the alpha byte.
            if (components == 4)
                out[3] = *in++;
            else
                out[3] = 255;
            out[2] = in[0];
            out[1] = in[1];
            out[0] = in[2];
            in += 3;
        }
    }
    jpeg_finish_decompress(&job.cinfo);
    jpeg_destroy_decompress(&job.cinfo);
    return true;
}

struct EncodeJob {
    jpeg_compress_struct cinfo;
    JpegErrorManager error;
    JpegMemoryDestination destination;
    bool created = false;
};

bool RunEncode(EncodeJob& job, int32_t width, int32_t height, const uint8_t* pixels)
{
    SetupErrorManager(job.error, "JpegCodec::Encode");
    job.cinfo.err = &job.error.pub;
    job.destination.buffer = nullptr;
    job.destination.capacity = 0;
    if (setjmp(job.error.jump)) {
        if (job.created)
            jpeg_destroy_compress(&job.cinfo);
        std::free(job.destination.buffer);
        job.destination.buffer = nullptr;
        return false;
    }
    jpeg_create_compress(&job.cinfo);
    job.created = true;
    job.cinfo.in_color_space = JCS_RGB;
    job.cinfo.input_components = 3;
    jpeg_set_defaults(&job.cinfo);
    job.cinfo.image_width = JDIMENSION(width);
    job.cinfo.image_height = JDIMENSION(height);
    job.cinfo.err->trace_level = 0;
    job.cinfo.optimize_coding = TRUE;
    job.cinfo.dct_method = JDCT_FLOAT;
    jpeg_set_quality(&job.cinfo, 100, FALSE);
    jpeg_simple_progression(&job.cinfo);

    job.destination.pub.init_destination = JpegDestinationInit;
    job.destination.pub.empty_output_buffer = JpegDestinationEmpty;
    job.destination.pub.term_destination = JpegDestinationTerm;
    job.cinfo.dest = &job.destination.pub;

    jpeg_start_compress(&job.cinfo, TRUE);
    const size_t rowBytes = size_t(width) * 3;
    while (job.cinfo.next_scanline < job.cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + size_t(job.cinfo.next_scanline) * rowBytes);
        jpeg_write_scanlines(&job.cinfo, &row, 1);
    }
    jpeg_finish_compress(&job.cinfo);
    jpeg_destroy_compress(&job.cinfo);
    return true;
}

} // namespace

JpegCodec::JpegCodec() : zPictureIOCodec("Jpeglib", "Jpeglib read/write codec.", 43) {}

bool JpegCodec::DecodeMemory(const uint8_t* data, size_t size, int32_t& width, int32_t& height, void*& pixels)
{
    pixels = nullptr;
    if (data == nullptr || size < 2 || data[0] != 0xFF || data[1] != 0xD8)
        return false;
    auto* job = new (std::nothrow) DecodeJob();
    if (job == nullptr) {
        LogError("JpegCodec::DecodeMemory") << "Could not allocate the decoder.\n";
        return false;
    }
    const bool decoded = RunDecode(*job, data, size);
    if (decoded) {
        width = job->width;
        height = job->height;
        pixels = job->pixels;
    }
    delete job;
    return decoded;
}

bool JpegCodec::Decode(const char* path, int32_t& width, int32_t& height, void*& pixels)
{
    pixels = nullptr;
    zStream stream;
    if (path == nullptr || !stream.Open(path, true, false))
        return false;
    uint8_t magic[2] = {0, 0};
    const bool isJpeg = stream.Read(magic, 2) == 2 && magic[0] == 0xFF && magic[1] == 0xD8;
    stream.Close();
    if (!isJpeg)
        return false;

    char* file = nullptr;
    const uint32_t size = zStream::LoadFile(path, file);
    const bool decoded =
        size != 0 && DecodeMemory(reinterpret_cast<const uint8_t*>(file), size, width, height, pixels);
    delete[] file;
    return decoded;
}

bool JpegCodec::EncodeMemory(int32_t width, int32_t height, const void* pixels, std::vector<uint8_t>& file)
{
    if (pixels == nullptr || width <= 0 || height <= 0 || width > MaxJpegSize || height > MaxJpegSize) {
        LogError("JpegCodec::Encode") << "Cannot encode a picture of " << width << "x" << height << " pixels.\n";
        return false;
    }
    auto* job = new (std::nothrow) EncodeJob();
    if (job == nullptr) {
        LogError("JpegCodec::Encode") << "Could not allocate the encoder.\n";
        return false;
    }
    const bool encoded = RunEncode(*job, width, height, static_cast<const uint8_t*>(pixels));
    if (encoded) {
        const size_t used = job->destination.capacity - job->destination.pub.free_in_buffer;
        file.assign(job->destination.buffer, job->destination.buffer + used);
    }
    std::free(job->destination.buffer);
    delete job;
    return encoded;
}

bool JpegCodec::Encode(const char* path, int32_t width, int32_t height, const void* pixels)
{
    std::vector<uint8_t> file;
    if (path == nullptr || !EncodeMemory(width, height, pixels, file))
        return false;
    zStream stream;
    if (!stream.Open(path, false, true)) {
        LogError("JpegCodec::Encode") << "Cannot write to '" << path << "'.\n";
        return false;
    }
    const bool written = stream.Write(file.data(), uint32_t(file.size())) == file.size();
    stream.Close();
    if (!written)
        LogError("JpegCodec::Encode") << "Failed to write '" << path << "'.\n";
    return written;
}

bool JpegCodec::FreeBuffer(void** pixels)
{
    if (pixels == nullptr)
        return false;
    std::free(*pixels);
    *pixels = nullptr;
    return true;
}
