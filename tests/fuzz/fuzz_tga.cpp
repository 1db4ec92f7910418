#include "bfgt/picture/zPictureIO.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    GlobalLog.VerbosityMask = 0;
    // Keeps single inputs from asking for the sizes files may claim.
    zPicture::SetBufferLimit(uint64_t(16) << 20);
    return 0;
}

// Any input either fails or gives a picture that survives a save and a reload.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zPicture picture;
    if (!lowlevel_tga_decode(data, size, picture))
        return 0;
    if (picture.pixels == nullptr || picture.format.IsDifferent(PixelFormatARGB32))
        __builtin_trap();
    std::vector<uint8_t> file;
    if (!lowlevel_tga_encode(picture, file))
        __builtin_trap();
    zPicture reloaded;
    if (!lowlevel_tga_decode(file.data(), file.size(), reloaded) || reloaded.width != picture.width ||
        reloaded.height != picture.height ||
        std::memcmp(reloaded.pixels, picture.pixels, size_t(picture.width) * size_t(picture.height) * 4) != 0)
        __builtin_trap();
    return 0;
}
