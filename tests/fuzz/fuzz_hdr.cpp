#include "bfgt/picture/HdrCodec.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    GlobalLog.VerbosityMask = 0;
    zPicture::SetBufferLimit(uint64_t(16) << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    HdrCodec codec;
    int32_t width = 0, height = 0;
    void* pixels = nullptr;
    if (HdrCodec::DecodeMemory(data, size, width, height, pixels)) {
        if (pixels == nullptr || width <= 0 || height <= 0)
            __builtin_trap();
        // Touch the last pixel: the buffer must hold width x height of them.
        volatile float last = static_cast<float*>(pixels)[size_t(width) * size_t(height) * 3 - 1];
        (void)last;
        codec.FreeBuffer(&pixels);
    }
    return 0;
}
