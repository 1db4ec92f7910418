#include "InputFS.h"
#include "bfgt/picture/zPicture.h"
#include "bfgt/picture/zPictureIO.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "framework/filesystem/zStream.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>

// Any bytes as the picture file a script or a scene names for a texture: the
// core's texture loader hands it to the picture dispatcher, which tries the
// built-in TGA and BMP readers and then every registered codec (HDR, JPEG).
// A texture that gets a picture has a buffer of its size. Pictures are capped
// at 1M pixels, so that one input decodes in bounded time.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    GlobalLog.VerbosityMask = 0;
    zPicture::SetBufferLimit(uint64_t(4) << 20);
    RegisterPictureCodecs(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Tavrin* core = new Tavrin;
    fuzz_support::InputFS input(data, size, "input.tex");
    zIOBaseFS* previous = zStream::GetCurrentFS();
    zStream::SetCurrentFS(&input);
    if (zTexture* texture = core->LoadTexture("input.tex", false, false, 0.5f, true)) {
        const zPicture& picture = texture->picture;
        if (picture.pixels != nullptr) {
            const uint64_t bytes = zPicture::BufferBytes(picture.width, picture.height, picture.format.bitsPerPixel);
            if (bytes == 0)
                __builtin_trap();
            volatile uint8_t last = picture.pixels[bytes - 1];
            (void)last;
        }
        delete texture;
    }
    zStream::SetCurrentFS(previous);
    core->DeleteAllResources();
    return 0;
}
