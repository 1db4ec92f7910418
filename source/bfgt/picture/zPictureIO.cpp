#include "bfgt/picture/zPictureIO.h"

#include "bfgt/picture/HdrCodec.h"
#include "bfgt/picture/JpegCodec.h"
#include "framework/filesystem/zStream.h"
#include "framework/system/zLogStream.h"

#include <cstring>

bool zPictureIOCodec::Decode(const char*, int32_t&, int32_t&, void*&)
{
    return false;
}

bool zPictureIOCodec::Encode(const char*, int32_t, int32_t, const void*)
{
    return false;
}

bool zPictureIOCodec::FreeBuffer(void** pixels)
{
    if (pixels != nullptr)
        *pixels = nullptr;
    return true;
}

zLinkedListId& zPictureIO::GetCodecList()
{
    static zLinkedListId codecs;
    return codecs;
}

bool zPictureIO::RegisterIOCodec(zPictureIOCodec* codec, bool verbose)
{
    if (codec == nullptr)
        return false;
    zLinkedListId& codecs = GetCodecList();
    if (codecs.Find(codec->GetName()) != nullptr) {
        LogWarning("zPictureIO::RegisterIOCodec") << "Codec '" << codec->GetName() << "' is already registered.\n";
        return false;
    }
    codecs.Append(codec);
    if (verbose)
        *GlobalLogStream << "Codec ('" << codec->GetName() << "') registered successfully.\n";
    return true;
}

void RegisterPictureCodecs(bool verbose)
{
    if (verbose)
        *GlobalLogStream << "Beginning picture I/O codec registration sequence...\n";
    // The list takes the codecs it accepts; a refused one is ours to delete.
    zPictureIOCodec* hdr = new HdrCodec();
    if (!zPictureIO::RegisterIOCodec(hdr, verbose))
        delete hdr;
    zPictureIOCodec* jpeg = new JpegCodec();
    if (!zPictureIO::RegisterIOCodec(jpeg, verbose))
        delete jpeg;
    if (verbose)
        *GlobalLogStream << "All codec registered.\n\n";
}

void CommitDecodedPicture(zPicture& decoded, zPicture& target)
{
    if (target.pixels != nullptr && target.width == decoded.width && target.height == decoded.height &&
        target.format.bitsPerPixel == decoded.format.bitsPerPixel && decoded.pixels != nullptr) {
        std::memcpy(target.pixels, decoded.pixels,
                    size_t(zPicture::BufferBytes(decoded.width, decoded.height, decoded.format.bitsPerPixel)));
        target.format.Copy(decoded.format);
        target.stateFlags = 0;
        return;
    }
    target.Swap(decoded);
}

bool zPictureIO::Load(zPicture& picture, const char* path)
{
    if (path == nullptr || !zStream::Exists(path))
        return false;

    char* file = nullptr;
    const uint32_t size = zStream::LoadFile(path, file);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(file);
    const bool builtIn = file != nullptr && (lowlevel_tga_decode(bytes, size, picture) ||
                                             lowlevel_bmp_decode(bytes, size, picture));
    delete[] file;
    if (builtIn)
        return true;

    zLinkedListCursor cursor;
    while (zPictureIOCodec* codec = GetCodecList().NextAs<zPictureIOCodec>(cursor)) {
        int32_t width = 0, height = 0;
        void* pixels = nullptr;
        if (!codec->Decode(path, width, height, pixels))
            continue;
        const zPixelFormat& format =
            (codec->flags & zPictureIOCodec::FlagFloatOutput) != 0 ? PixelFormatRGBFloat : PixelFormatARGB32;
        zPicture decoded;
        const bool allocated =
            pixels != nullptr && zPicture::BufferBytes(width, height, format.bitsPerPixel) != 0 &&
            decoded.AllocAs(width, height, format);
        if (allocated) {
            std::memcpy(decoded.pixels, pixels, size_t(zPicture::BufferBytes(width, height, format.bitsPerPixel)));
            codec->FreeBuffer(&pixels);
            CommitDecodedPicture(decoded, picture);
            return true;
        }
        LogError("zPictureIO::Load") << "Could not allocate picture object.\n";
        codec->FreeBuffer(&pixels);
        break;
    }
    LogError("zPictureIO::Load") << "No picture decoder for '" << path << "'.\n";
    return false;
}
