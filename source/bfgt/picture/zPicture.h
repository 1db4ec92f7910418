#pragma once

#include "bfgt/picture/zPixelFormat.h"
#include "framework/math/zColor.h"

#include <cstddef>
#include <cstdint>

// The system's raster image: rows top to bottom, each row width pixels packed as
// the pixel format says, rows directly one after another.
class zPicture {
public:
    // State flag: width and height without pixels (placeholder pictures).
    static constexpr uint32_t StateSizeOnly = 2;
    // State flag: a mask, whose grey level (not its alpha) says how much of a
    // surface is there; the ray tracer's opacity layer reads it so. Reset,
    // Copy and loading into the picture clear it.
    static constexpr uint32_t StateMask = 4;
    // Buffer flag: the buffer belongs to someone else and is never released here.
    static constexpr uint32_t BufferNotOwned = 2;
    // Largest buffer a picture allocates by default; sizes read from files are
    // checked against the limit.
    static constexpr uint64_t DefaultBufferLimit = uint64_t(1) << 30;

    // Blit modes.
    static constexpr int BlitCopy = 0;
    static constexpr int BlitBlend = 1;
    static constexpr int BlitAlphaFromColor = 8;

    // Integer rectangle; x1 and y1 are exclusive.
    struct Rect {
        int32_t x0, y0, x1, y1;
    };
    // Float clip rectangle of pixel and line drawing.
    struct ClipRect {
        float x0, y0, x1, y1;
    };

    zPicture() = default;
    zPicture(const zPicture& other);
    zPicture& operator=(const zPicture& other);
    ~zPicture();

    // Empties the fields without releasing the buffer.
    void Reset();
    // Releases an owned buffer; size and format stay.
    void Free();
    // A zero-filled buffer of width x height pixels; keeps the pixels when only
    // the format changes at the same size and bit depth. On failure (error
    // line) the old buffer is already released: pixels is null.
    bool AllocAs(int32_t newWidth, int32_t newHeight, const zPixelFormat& newFormat);
    void SetSizeOnly(int32_t newWidth, int32_t newHeight);
    // Becomes a copy of the source; false when the copy could not be allocated.
    bool Copy(const zPicture& source);
    // Uses a buffer that stays the caller's; a null buffer changes nothing.
    void SetExternalBuffer(uint8_t* buffer, int32_t newWidth, int32_t newHeight, const zPixelFormat& newFormat);
    // Converts the pixels to another format; the picture is unchanged on failure.
    bool ConvertTo(const zPixelFormat& target);
    bool HasTransparentPixel() const;
    // Exchanges everything, buffer ownership included.
    void Swap(zPicture& other);

    bool HasBuffer() const { return pixels != nullptr; }
    bool IsSizeOnly() const { return (stateFlags & StateSizeOnly) != 0; }
    bool IsMask() const { return (stateFlags & StateMask) != 0; }
    void SetMask(bool mask) { stateFlags = mask ? stateFlags | StateMask : stateFlags & ~StateMask; }
    // Bytes of a width x height buffer at the given depth; 0 when a size is not
    // positive, the depth has no whole byte or the buffer would pass the limit.
    static uint64_t BufferBytes(int32_t w, int32_t h, uint8_t bitsPerPixel);
    // The buffer limit of every picture (fuzzing lowers it); returns the old one.
    static uint64_t SetBufferLimit(uint64_t bytes);
    static uint64_t GetBufferLimit();

    // Drawing on 32-bit pictures. Colours are floats 0..1, clamped; whatever
    // lies outside the picture is clipped away.
    bool Fill(float r, float g, float b, float a, const Rect* rect = nullptr);
    void BlendPixel(float x, float y, float r, float g, float b, float a, const ClipRect* clip = nullptr);
    void BlendPixelSmooth(float x, float y, float r, float g, float b, float a, const ClipRect* clip = nullptr);
    void DrawLine(float x0, float y0, float x1, float y1, float r, float g, float b, float a,
                  const ClipRect* clip = nullptr);
    void DrawLineSmooth(float x0, float y0, float x1, float y1, float r, float g, float b, float a,
                        const ClipRect* clip = nullptr);
    void DrawLineEx(bool smooth, float x0, float y0, float x1, float y1, float r, float g, float b, float a,
                    const ClipRect* clip = nullptr);

    // Bilinear sample at (u, v) in 0..1; w and h of 0 mean the picture's own
    // size, larger values are limited to it. Float pictures give alpha 1.
    void SampleBilinear(float u, float v, zColor& out, int32_t w = 0, int32_t h = 0) const;
    // The sample packed by zColor::ToRGBA32 (red in byte 0, alpha in byte 3).
    uint32_t SampleBilinearRGBA32(float u, float v, int32_t w = 0, int32_t h = 0) const;

    // Copies or composes a rectangle of the source into the destination in the
    // destination's format; missing rectangles are the whole picture.
    static void Blit(const zPicture& source, zPicture& destination, const Rect* sourceRect = nullptr,
                     const Rect* destinationRect = nullptr, int mode = BlitCopy);
    bool Resize(int32_t newWidth, int32_t newHeight);
    bool ApplyConvolution(int32_t kernelWidth, int32_t kernelHeight, const int32_t* kernel);

    // malloc'ed and owned unless bufferFlags has BufferNotOwned.
    uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    zPixelFormat format;
    uint32_t stateFlags = 0;
    uint32_t bufferFlags = 0;

private:
    // Releases the current buffer and takes an owned one.
    void TakeBuffer(uint8_t* buffer, int32_t newWidth, int32_t newHeight, const zPixelFormat& newFormat);
    bool IsDrawable() const;
};

// "Over" composition on bytes.
uint8_t ComposeAlphaOver(uint8_t alphaA, uint8_t alphaB);
uint8_t ComposeChannelOver(uint8_t destination, uint8_t source, uint8_t destinationAlpha, uint8_t sourceAlpha,
                           uint8_t resultAlpha);
// Composes a colour over bytes 0, 1, 2 (red, green, blue) of a pixel and stores
// the result alpha in byte 3.
void BlendPixelOver(uint8_t* pixel, uint8_t r, uint8_t g, uint8_t b, uint8_t a);

// Clips a source rectangle to its bounds, places it at the destination's origin
// and clips both to the destination bounds.
void ClipBlitRects(const zPicture::Rect& sourceBounds, zPicture::Rect& source, const zPicture::Rect& destinationBounds,
                   zPicture::Rect& destination);
