// Texture upload: size rules, format by kind and options, the error texel,
// and the running video-memory count.

#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "framework/system/zLogStream.h"
#include "gl3/common/zGL3Rules.h"
#include "gl3/system/zGL3Renderer.h"

#include <algorithm>
#include <cstdio>
#include <new>

#ifndef GL_TEXTURE_MAX_ANISOTROPY_EXT
#define GL_TEXTURE_MAX_ANISOTROPY_EXT 0x84FE
#endif

namespace {

// How GL reads a picture's pixels as they are: 32-bit words in either byte
// order, or three floats. False for any other format, which is converted
// first: read as one of these, its buffer would be read past its end or
// misread.
bool GetUploadLayout(const zPixelFormat& format, GLenum& layout, GLenum& type)
{
    if (!format.IsDifferent(PixelFormatRGBFloat)) {
        layout = GL_RGB;
        type = GL_FLOAT;
        return true;
    }
    type = GL_UNSIGNED_BYTE;
    if (!format.IsDifferent(PixelFormatARGB32))
        layout = GL_BGRA;
    else if (!format.IsDifferent(PixelFormatABGR32))
        layout = GL_RGBA;
    else
        return false;
    return true;
}

} // namespace

zGL3TextureRecord* zGL3Renderer::AllocateTextureRecord()
{
    return new (std::nothrow) zGL3TextureRecord;
}

bool zGL3Renderer::IsCompressible(const zTexture* texture) const
{
    return texture != nullptr && IsGL3TextureCompressible(texture->flags, texture->mode, optionFlags);
}

void zGL3Renderer::PrepareTextureSize(zTexture* texture)
{
    zPicture& picture = texture->picture;
    int32_t width = picture.width;
    int32_t height = picture.height;
    if (width <= 0 || height <= 0)
        return;
    const bool reducible = IsGL3TextureReducible(texture->flags, texture->priority, optionFlags);
    ComputeGL3TextureSize(width, height, texture->usage, reducible, optionFlags);
    if (width == picture.width && height == picture.height)
        return;
    if (picture.IsSizeOnly() || picture.pixels == nullptr)
        picture.SetSizeOnly(width, height);
    else
        picture.Resize(width, height);
}

bool zGL3Renderer::SetupTexture(zTexture* texture)
{
    if (videoOpen == 0 || texture == nullptr)
        return false;
    if (texture->rendererData != nullptr)
        return true;
    const bool release = freeCpuCopies != 0 && (texture->flags & GL3TextureKeepPicture) == 0;
    zGL3TextureRecord* record = AllocateTextureRecord();
    if (record == nullptr) {
        LogError("zGL3Renderer::SetupTexture") << "Failed to allocate texture data structure.\n";
        return false;
    }
    texture->rendererData = record;
    // A kept picture is worked on as a copy, so resizing and conversion
    // leave it as the owner knows it.
    zTexture* work = texture;
    std::unique_ptr<zTexture> temporary;
    if ((texture->flags & GL3TextureKeepPicture) != 0 && (texture->flags & GL3TextureRaw) == 0 && !release) {
        temporary.reset(new (std::nothrow) zTexture(nullptr, texture->id.Get()));
        if (temporary != nullptr && (texture->picture.pixels == nullptr || temporary->picture.Copy(texture->picture))) {
            if (texture->picture.pixels == nullptr)
                temporary->picture.SetSizeOnly(texture->picture.width, texture->picture.height);
            temporary->mode = texture->mode;
            temporary->usage = texture->usage;
            temporary->flags = texture->flags;
            temporary->priority = 0.5f;
            work = temporary.get();
        }
    }
    PrepareTextureSize(work);
    int32_t kind = work->mode;
    // The upload reads three floats or four bytes per texel: a picture that
    // cannot be brought to either is not read at all.
    if (work->picture.format.isFloat != 0 && work->picture.format.bitsPerPixel == 96) {
        kind = 2;
    } else if (work->picture.pixels != nullptr && !work->picture.ConvertTo(PixelFormatABGR32)) {
        LogError("zGL3Renderer::SetupTexture") << "Could not convert the picture of texture '" << texture->id
                                               << "' for upload.\n";
        texture->rendererData = nullptr;
        delete record;
        return false;
    }
    const int32_t previousKind = work->mode;
    work->mode = kind;
    UploadTextureData(record, work, IsCompressible(texture));
    work->mode = previousKind;
    temporary.reset();
    if (release && texture->picture.pixels != nullptr)
        texture->picture.SetSizeOnly(texture->picture.width, texture->picture.height);
    return true;
}

void zGL3Renderer::UploadTextureData(zGL3TextureRecord* record, zTexture* texture, bool compressible)
{
    glGenTextures(1, &record->name);
    ++uploads;
    glBindTexture(GL_TEXTURE_2D, record->name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    const zPicture& picture = texture->picture;
    const int32_t width = picture.width;
    const int32_t height = picture.height;
    uint64_t bytes = 0;
    if (width <= 0 || height <= 0) {
        LogWarning("zGL3Renderer::UploadTextureData")
            << "Invalid texture '" << texture->id << "'. Uploading error bitmap.\n";
        static const uint8_t errorTexel[4] = {0x7F, 0x00, 0xFF, 0x7F};
        glTexImage2D(GL_TEXTURE_2D, 0, GL_COMPRESSED_RGBA_ARB, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, errorTexel);
        bytes = 4;
    } else {
        int32_t kind = texture->mode;
        const bool mipmaps =
            DoesGL3TextureGetMipmaps(texture->flags, kind, texture->usage, glGenerateMipmap_ != nullptr);
        if (mipmaps) {
            glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 16.0f);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
        }
        if (kind < 0 || kind > 4) {
            LogError("zGL3Renderer::UploadTextureData") << "Unsupported texture format.\n";
            kind = 0;
        }
        const void* pixels = picture.IsSizeOnly() ? nullptr : picture.pixels;
        const uint64_t texels = uint64_t(width) * uint64_t(height);
        switch (kind) {
        case 0:
            if (compressible && (optionFlags & OptionTextureForceTrueColor) != 0) {
                glTexImage2D(GL_TEXTURE_2D, 0, GL_COMPRESSED_RGBA_ARB, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                             pixels);
                GLint compressed = 0, size = 0;
                glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED_ARB, &compressed);
                if (compressed != 0)
                    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED_IMAGE_SIZE_ARB, &size);
                bytes = compressed != 0 ? uint64_t(size) : texels * 4;
            } else if (compressible) {
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA4, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
                bytes = texels * 2;
            } else {
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
                bytes = texels * 4;
            }
            break;
        case 1:
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
            bytes = texels * 8;
            break;
        case 2:
            if (picture.format.isFloat != 0) {
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB16F_ARB, width, height, 0, GL_RGB, GL_FLOAT, pixels);
                bytes = texels * 6;
            } else {
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F_ARB, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
                bytes = texels * 8;
            }
            break;
        case 3:
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_DEPTH_TEXTURE_MODE_ARB, GL_LUMINANCE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE_ARB, GL_NONE);
            glTexImage2D(GL_TEXTURE_2D, 0, sixteenBitDepth != 0 ? GL_DEPTH_COMPONENT16 : GL_DEPTH_COMPONENT24,
                         width, height, 0, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, pixels);
            bytes = texels * (sixteenBitDepth != 0 ? 2 : 3);
            break;
        default:
            glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT16, width, height, 0, GL_DEPTH_COMPONENT, GL_FLOAT,
                         pixels);
            bytes = texels * 2;
            break;
        }
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    record->bytes = bytes;
    textureMemory += bytes;
    char sizeText[96];
    std::snprintf(sizeText, sizeof(sizeText), " (%dx%d) (%llu bytes)\n", width, height, (unsigned long long)bytes);
    *GlobalLogStream << "    Setup '" << texture->id << "'" << sizeText;
    char total[64];
    std::snprintf(total, sizeof(total), "    Total video RAM usage: %.02fmo\n", double(textureMemory) / 1048576.0);
    *GlobalLogStream << total;
}

void zGL3Renderer::FreeTexture(zTexture* texture)
{
    if (texture == nullptr || texture->rendererData == nullptr)
        return;
    auto* record = static_cast<zGL3TextureRecord*>(texture->rendererData);
    texture->rendererData = nullptr;
    if (record->name != 0 && context != nullptr)
        glDeleteTextures(1, &record->name);
    textureMemory -= std::min(textureMemory, record->bytes);
    delete record;
}

void zGL3Renderer::UpdateTexture(zTexture* texture, const uint8_t* pixels, int32_t width, int32_t height, int32_t x,
                                 int32_t y)
{
    if (texture == nullptr || texture->rendererData == nullptr || videoClosed != 0)
        return;
    // Pixels released after upload (or never given) cannot replace anything.
    if (pixels == nullptr || width <= 0 || height <= 0)
        return;
    auto* record = static_cast<zGL3TextureRecord*>(texture->rendererData);
    // The texture's own picture is read in its own format: the 2D interface
    // and the streams keep theirs as ARGB words, and scripts can load any
    // picture into it (24 bits, floats), which is converted first. Other
    // pixels are RGBA bytes.
    GLenum layout = GL_RGBA;
    GLenum type = GL_UNSIGNED_BYTE;
    zPicture converted;
    const zPicture& picture = texture->picture;
    if (pixels == picture.pixels) {
        if (width > picture.width || height > picture.height) {
            LogWarning("zGL3Renderer::UpdateTexture") << "Texture '" << texture->id << "': an update of " << width
                << "x" << height << " is larger than its " << picture.width << "x" << picture.height
                << " picture.\n";
            return;
        }
        if (!GetUploadLayout(picture.format, layout, type)) {
            if (!converted.Copy(picture) || !converted.ConvertTo(PixelFormatABGR32)) {
                LogError("zGL3Renderer::UpdateTexture") << "Could not convert the picture of texture '"
                                                        << texture->id << "' for upload.\n";
                return;
            }
            pixels = converted.pixels;
            layout = GL_RGBA;
            type = GL_UNSIGNED_BYTE;
        }
    }
    glBindTexture(GL_TEXTURE_2D, record->name);
    glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, width, height, layout, type, pixels);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void zGL3Renderer::CopyFramebufferToTexture(zTexture* texture)
{
    if (texture == nullptr || texture->rendererData == nullptr || videoClosed != 0)
        return;
    glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(texture->rendererData)->name);
    // As much of the output as the texture holds: GL refuses a copy beyond it.
    GLint textureWidth = 0, textureHeight = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &textureWidth);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &textureHeight);
    const int32_t width = std::clamp(ToGL3Pixels(outputWidth), 0, int32_t(textureWidth));
    const int32_t height = std::clamp(ToGL3Pixels(outputHeight), 0, int32_t(textureHeight));
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);
    glBindTexture(GL_TEXTURE_2D, 0);
}
