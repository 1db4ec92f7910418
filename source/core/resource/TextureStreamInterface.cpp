#include "core/resource/TextureStreamInterface.h"

#include "core/render/zRenderer.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "dav/core/dAV_Stream.h"
#include "dav/decoder/dAV_FrameConvert.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <utility>

TextureStreamInterface::TextureStreamInterface(zTexture* owner) : texture(owner)
{
    maxFrameSide = int32_t(MaxTextureSize);
}

TextureStreamInterface::~TextureStreamInterface()
{
    if (content != nullptr) {
        content->Close();
        delete content;
        content = nullptr;
    }
    frameReady = 0;
}

bool TextureStreamInterface::SetFormat(const dAV_FrameFormat& format)
{
    chromaWidth = format.chromaWidth;
    chromaHeight = format.chromaHeight;
    if (format.kind == frameKind && format.width == width && format.height == height)
        return true;
    frameKind = format.kind;
    width = format.width;
    height = format.height;
    texture->Free();
    *GlobalLogStream << "TextureStreamInterface::SetFormat(" << width << ", " << height << ").\n";
    texture->flags |= zTexture::FlagDynamic;
    // A failed allocation leaves the picture without pixels; WriteFrame then drops every frame.
    texture->picture.AllocAs(width, height, PixelFormatARGB32);
    texture->Setup();
    return true;
}

bool TextureStreamInterface::CanTakeFrame() const
{
    const zPicture& picture = texture->picture;
    return picture.HasBuffer() && width > 0 && height > 0 && picture.width == width && picture.height == height &&
           !picture.format.IsDifferent(PixelFormatARGB32);
}

bool TextureStreamInterface::WriteFrame(uint8_t* const planes[3], int32_t)
{
    // The frame still counts as shown, so the stream keeps its pace while frames are dropped.
    frameReady = 1;
    if (!CanTakeFrame() || planes == nullptr || planes[0] == nullptr || planes[1] == nullptr || planes[2] == nullptr)
        return true;
    zPicture& picture = texture->picture;
    const size_t pixelCount = size_t(picture.width) * size_t(picture.height);

    if (frameKind == dAV_FrameFormat::PlanarRGB) {
        uint8_t* pixel = picture.pixels;
        for (size_t i = 0; i < pixelCount; ++i, pixel += 4) {
            pixel[0] = planes[0][i];
            pixel[1] = planes[1][i];
            pixel[2] = planes[2][i];
        }
    } else if (frameKind == dAV_FrameFormat::YUV420) {
        // The converter reads chroma rows (width + 1) / 2 apart: smaller planes cannot be read.
        if (chromaWidth < (width + 1) / 2 || chromaHeight < (height + 1) / 2)
            return true;
        ConvertYUV420ToRGB32(planes[0], planes[1], planes[2], picture.pixels, width, height, 4 * picture.width,
                             picture.height);
        // The converter writes B, G, R; the picture keeps R, G, B.
        const size_t rowBytes = size_t(picture.format.bitsPerPixel / 8) * size_t(picture.width);
        for (int32_t y = 0; y < picture.height; ++y) {
            uint8_t* row = picture.pixels + size_t(y) * rowBytes;
            for (size_t x = 0; x + 3 < rowBytes; x += 4)
                std::swap(row[x], row[x + 2]);
        }
    }
    return true;
}

bool TextureStreamInterface::PresentFrame()
{
    zRenderer* renderer = texture->core != nullptr ? texture->core->renderer : nullptr;
    const zPicture& picture = texture->picture;
    // A picture the stream could not write into holds no frame of it, and may
    // not even hold the 32-bit pixels the upload reads.
    if (renderer != nullptr && CanTakeFrame())
        renderer->UpdateTexture(texture, picture.pixels, picture.width, picture.height, 0, 0);
    frameReady = 0;
    return true;
}
