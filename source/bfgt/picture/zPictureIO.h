#pragma once

#include "bfgt/picture/zPicture.h"
#include "framework/data_structure/zLinkedList.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// A picture codec found by name in the program-wide codec list. Decode hands
// back a buffer the codec allocated: width x height 32-bit pixels with the
// bytes B, G, R, A or, with FlagFloatOutput, three floats (red, green, blue)
// per pixel; FreeBuffer releases it.
class zPictureIOCodec : public zLinkedListIdEntry {
public:
    static constexpr int32_t FlagFloatOutput = 0x40;

    zPictureIOCodec(const char* name, const char* codecDescription, int32_t codecFlags)
        : zLinkedListIdEntry(name), description(codecDescription), flags(codecFlags)
    {
    }
    ~zPictureIOCodec() override = default;

    const zString& GetName() const { return id; }

    virtual bool Setup() { return true; }
    virtual bool Cleanup() { return true; }
    virtual bool Decode(const char* path, int32_t& width, int32_t& height, void*& pixels);
    // Pixels are red, green, blue bytes, rows top to bottom without gaps.
    virtual bool Encode(const char* path, int32_t width, int32_t height, const void* pixels);
    virtual bool FreeBuffer(void** pixels);

    zString description;
    int32_t flags;
};

class zPictureIO {
public:
    // Appends a codec the list does not hold yet; the list then owns it. False
    // for null or a name already registered (a warning): the codec is then
    // still the caller's to delete. Main thread, at start-up.
    static bool RegisterIOCodec(zPictureIOCodec* codec, bool verbose);
    // Loads a TGA, a BMP or whatever a registered codec decodes. The picture is
    // left as it was when nothing could load the file.
    static bool Load(zPicture& picture, const char* path);
    // The registered codecs in registration order; lives until the program ends.
    static zLinkedListId& GetCodecList();
};

// Creates and registers the start-up codecs: "HDR", then "Jpeglib".
void RegisterPictureCodecs(bool verbose);

// The built-in formats. The loaders read the whole file and decode it from
// memory; a file that is not of their format fails without a log line.
bool lowlevel_tga_load(const char* path, zPicture& picture);
bool lowlevel_tga_save(const char* path, const zPicture& picture);
bool lowlevel_bmp_load(const char* path, zPicture& picture);
bool lowlevel_tga_decode(const uint8_t* data, size_t size, zPicture& picture);
bool lowlevel_tga_encode(const zPicture& picture, std::vector<uint8_t>& file);
bool lowlevel_bmp_decode(const uint8_t* data, size_t size, zPicture& picture);

// Hands a decoded picture to its target: into the target's own buffer when
// that has the same size and depth, otherwise by exchanging the two.
void CommitDecodedPicture(zPicture& decoded, zPicture& target);
