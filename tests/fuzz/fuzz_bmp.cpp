#include "bfgt/picture/zPictureIO.h"
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
    zPicture picture;
    if (lowlevel_bmp_decode(data, size, picture) &&
        (picture.pixels == nullptr || picture.format.IsDifferent(PixelFormatRGB24)))
        __builtin_trap();
    return 0;
}
