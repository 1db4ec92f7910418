#include "InputFS.h"
#include "bfgt/picture/JpegCodec.h"
#include "framework/filesystem/zStream.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The project's JPEG wrapper: the memory decoder, the file decoder through
// the current file system, and the encoder on what was decoded. libjpeg
// itself is not instrumented, so the seeds are small pictures of every kind
// the wrapper meets (odd sizes, subsamplings, restarts, progressive and
// arithmetic coding, grey and CMYK). Pictures are capped at 256k pixels, so
// that one input decodes in bounded time.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    GlobalLog.VerbosityMask = 0;
    zPicture::SetBufferLimit(uint64_t(1) << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    JpegCodec codec;
    int32_t width = 0, height = 0;
    void* pixels = nullptr;
    if (JpegCodec::DecodeMemory(data, size, width, height, pixels)) {
        if (pixels == nullptr || width <= 0 || height <= 0)
            __builtin_trap();
        volatile uint8_t last = static_cast<uint8_t*>(pixels)[size_t(width) * size_t(height) * 4 - 1];
        (void)last;
        // What was decoded encodes, and decodes again to the same size.
        std::vector<uint8_t> encoded;
        if (!JpegCodec::EncodeMemory(width, height, pixels, encoded))
            __builtin_trap();
        int32_t againWidth = 0, againHeight = 0;
        void* again = nullptr;
        if (!JpegCodec::DecodeMemory(encoded.data(), encoded.size(), againWidth, againHeight, again)
            || againWidth != width || againHeight != height)
            __builtin_trap();
        codec.FreeBuffer(&again);
        codec.FreeBuffer(&pixels);
    }

    // The file decoder reads the same bytes through the file system.
    fuzz_support::InputFS input(data, size, "input.jpg");
    zIOBaseFS* previous = zStream::GetCurrentFS();
    zStream::SetCurrentFS(&input);
    void* fromFile = nullptr;
    if (codec.Decode("input.jpg", width, height, fromFile))
        codec.FreeBuffer(&fromFile);
    zStream::SetCurrentFS(previous);
    return 0;
}
