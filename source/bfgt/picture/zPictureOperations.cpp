#include "bfgt/picture/zPicture.h"

#include "framework/system/zLogStream.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Colour component to its byte: clamped to 0..1, times 255, truncated.
uint8_t ColorByte(float value)
{
    if (!(value > 0.0f))
        return 0;
    if (value >= 1.0f)
        return 255;
    return uint8_t(double(value) * 255.0);
}

bool IsFloatLayout(const zPixelFormat& f)
{
    return f.isFloat && f.bitsPerPixel == 96 && f.redMask < 3 && f.greenMask < 3 && f.blueMask < 3;
}

float ChannelOf(uint32_t pixel, uint8_t shift, uint8_t width)
{
    if (width == 0)
        return 0.0f;
    return float((pixel >> shift) & 0xFF) * (1.0f / 255.0f);
}

// Where a 32-bit format keeps its alpha byte; byte 3 unless the masks say otherwise.
int AlphaByteIndex(const zPixelFormat& f)
{
    if (f.alphaWidth == 8 && f.alphaShift % 8 == 0)
        return f.alphaShift / 8;
    return 3;
}

int32_t ClampToInt32(int64_t value)
{
    return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// Parametric clip of the segment against lo <= coordinate <= hi along one axis;
// false when nothing of it is left.
bool ClipAxis(float& a0, float& b0, float& a1, float& b1, float lo, float hi)
{
    const float da = a1 - a0;
    if (da == 0.0f)
        return a0 >= lo && a0 <= hi;
    float tLo = (lo - a0) / da;
    float tHi = (hi - a0) / da;
    if (tLo > tHi)
        std::swap(tLo, tHi);
    const float t0 = std::max(tLo, 0.0f);
    const float t1 = std::min(tHi, 1.0f);
    if (t0 > t1)
        return false;
    const float db = b1 - b0;
    const float startA = a0, startB = b0;
    if (t0 > 0.0f) {
        a0 = startA + da * t0;
        b0 = startB + db * t0;
    }
    if (t1 < 1.0f) {
        a1 = startA + da * t1;
        b1 = startB + db * t1;
    }
    return true;
}

} // namespace

uint8_t ComposeAlphaOver(uint8_t alphaA, uint8_t alphaB)
{
    int a = int(alphaA) + int(alphaB) - (int(alphaA) * int(alphaB)) / 256;
    return uint8_t(std::clamp(a, 0, 255));
}

uint8_t ComposeChannelOver(uint8_t destination, uint8_t source, uint8_t destinationAlpha, uint8_t sourceAlpha,
                           uint8_t resultAlpha)
{
    if (resultAlpha == 0)
        return 0;
    const int s = source, d = destination, sA = sourceAlpha, dA = destinationAlpha;
    int c = (s * sA + d * dA - (sA * d * dA) / 256) / int(resultAlpha);
    return uint8_t(std::clamp(c, 0, 255));
}

void BlendPixelOver(uint8_t* pixel, uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    const uint8_t destinationAlpha = pixel[3];
    const uint8_t resultAlpha = ComposeAlphaOver(a, destinationAlpha);
    pixel[0] = ComposeChannelOver(pixel[0], r, destinationAlpha, a, resultAlpha);
    pixel[1] = ComposeChannelOver(pixel[1], g, destinationAlpha, a, resultAlpha);
    pixel[2] = ComposeChannelOver(pixel[2], b, destinationAlpha, a, resultAlpha);
    pixel[3] = resultAlpha;
}

bool zPicture::IsDrawable() const
{
    return pixels != nullptr && format.bitsPerPixel == 32 && !format.isFloat && width > 0 && height > 0;
}

bool zPicture::Fill(float r, float g, float b, float a, const Rect* rect)
{
    if (!IsDrawable())
        return false;
    const uint32_t value = format.Format(r, g, b, a);
    int32_t x0 = 0, y0 = 0, x1 = width, y1 = height;
    if (rect != nullptr) {
        if (rect->y0 >= rect->y1 || rect->x0 >= rect->x1)
            return false;
        x0 = std::max(rect->x0, 0);
        y0 = std::max(rect->y0, 0);
        x1 = std::min(rect->x1, width);
        y1 = std::min(rect->y1, height);
    }
    for (int32_t y = y0; y < y1; ++y) {
        uint8_t* p = pixels + (size_t(y) * size_t(width) + size_t(x0)) * 4;
        for (int32_t x = x0; x < x1; ++x, p += 4)
            std::memcpy(p, &value, 4);
    }
    return true;
}

void zPicture::BlendPixel(float x, float y, float r, float g, float b, float a, const ClipRect* clip)
{
    if (!IsDrawable())
        return;
    if (clip != nullptr && !(clip->x0 <= x && x < clip->x1 && clip->y0 <= y && y < clip->y1))
        return;
    if (!(x >= 0.0f && x < float(width) && y >= 0.0f && y < float(height)))
        return;
    const int32_t px = std::min(int32_t(x), width - 1);
    const int32_t py = std::min(int32_t(y), height - 1);
    BlendPixelOver(pixels + (size_t(py) * size_t(width) + size_t(px)) * 4, ColorByte(r), ColorByte(g), ColorByte(b),
                   ColorByte(a));
}

void zPicture::BlendPixelSmooth(float x, float y, float r, float g, float b, float a, const ClipRect* clip)
{
    if (!IsDrawable())
        return;
    if (clip != nullptr && !(clip->x0 <= x && x < clip->x1 - 1.0f && clip->y0 <= y && y < clip->y1 - 1.0f))
        return;
    // Any of the four pixels may lie inside only when the point is within one
    // pixel of the picture; this also rejects NaN.
    if (!(x > -1.0f && x < float(width) && y > -1.0f && y < float(height)))
        return;
    const float fX = std::floor(x), fY = std::floor(y);
    const float fx = x - fX, fy = y - fY;
    const int32_t X = int32_t(fX), Y = int32_t(fY);
    const float a8 = float(ColorByte(a));
    const uint8_t red = ColorByte(r), green = ColorByte(g), blue = ColorByte(b);
    const struct {
        int32_t x, y;
        float alpha;
    } taps[4] = {
        {X, Y, (1.0f - fx) * (1.0f - fy) * a8},
        {X + 1, Y, fx * (1.0f - fy) * a8},
        {X, Y + 1, (1.0f - fx) * fy * a8},
        {X + 1, Y + 1, fx * fy * a8},
    };
    for (const auto& tap : taps) {
        if (tap.x < 0 || tap.x >= width || tap.y < 0 || tap.y >= height)
            continue;
        BlendPixelOver(pixels + (size_t(tap.y) * size_t(width) + size_t(tap.x)) * 4, red, green, blue,
                       uint8_t(int(tap.alpha)));
    }
}

void zPicture::DrawLine(float x0, float y0, float x1, float y1, float r, float g, float b, float a,
                        const ClipRect* clip)
{
    DrawLineEx(false, x0, y0, x1, y1, r, g, b, a, clip);
}

void zPicture::DrawLineSmooth(float x0, float y0, float x1, float y1, float r, float g, float b, float a,
                              const ClipRect* clip)
{
    DrawLineEx(true, x0, y0, x1, y1, r, g, b, a, clip);
}

void zPicture::DrawLineEx(bool smooth, float x0, float y0, float x1, float y1, float r, float g, float b, float a,
                          const ClipRect* clip)
{
    if (!IsDrawable())
        return;
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
        return;

    float dx = x1 - x0, dy = y1 - y0;
    const bool steep = std::fabs(dy) > std::fabs(dx);
    if (steep) {
        const float row = std::floor(y0);
        if (dy != 0.0f)
            x0 -= dx * (y0 - row) / dy;
        y0 = row;
    } else {
        const float column = std::floor(x0);
        if (dx != 0.0f)
            y0 -= dy * (x0 - column) / dx;
        x0 = column;
    }

    if (clip != nullptr) {
        if (!ClipAxis(x0, y0, x1, y1, clip->x0, clip->x1))
            return;
        if (!ClipAxis(y0, x0, y1, x1, clip->y0, clip->y1))
            return;
    }

    // Walk along the major axis; the minor one follows by the slope.
    float major0 = steep ? y0 : x0, minor0 = steep ? x0 : y0;
    float major1 = steep ? y1 : x1, minor1 = steep ? x1 : y1;
    if (major0 > major1) {
        std::swap(major0, major1);
        std::swap(minor0, minor1);
    }
    const float span = major1 - major0;
    const float step = span != 0.0f ? (minor1 - minor0) / span : 0.0f;
    const float limit = float(steep ? height : width);

    // Points before the picture plot nothing: skip them (whole steps, so the
    // points inside stay where they were).
    float major = major0, minor = minor0;
    if (major < -1.0f) {
        const float skip = std::ceil(-1.0f - major);
        major += skip;
        minor += step * skip;
    }
    const float end = std::min(major1, limit + 1.0f);
    // Bounded even where adding 1 no longer changes a large float.
    for (int64_t guard = int64_t(limit) + 4; major < end && guard > 0; --guard) {
        const float px = steep ? minor : major, py = steep ? major : minor;
        if (smooth)
            BlendPixelSmooth(px, py, r, g, b, a);
        else
            BlendPixel(px, py, r, g, b, a);
        major += 1.0f;
        minor += step;
    }
}

void zPicture::SampleBilinear(float u, float v, zColor& out, int32_t w, int32_t h) const
{
    const bool integer32 = pixels != nullptr && format.bitsPerPixel == 32 && !format.isFloat;
    const bool floating = pixels != nullptr && IsFloatLayout(format);
    if ((!integer32 && !floating) || width <= 0 || height <= 0) {
        out = zColor(1.0f, 0.0f, 1.0f, 1.0f);
        return;
    }
    if (w <= 0 || w > width)
        w = width;
    if (h <= 0 || h > height)
        h = height;

    float x = u * float(w);
    if (!(x >= 0.0f))
        x = 0.0f;
    if (x >= float(w))
        x = float(w - 1);
    float y = v * float(h);
    if (!(y >= 0.0f))
        y = 0.0f;
    if (y >= float(h))
        y = float(h - 1);

    const int32_t X = int32_t(x), Y = int32_t(y);
    const float fx = x - float(X), fy = y - float(Y);
    const bool right = X + 1 < w, below = Y + 1 < h;
    const size_t base = size_t(Y) * size_t(width) + size_t(X);
    const size_t index[4] = {base, right ? base + 1 : base, below ? base + size_t(width) : base,
                             right && below ? base + size_t(width) + 1 : base};
    const float weight[4] = {(1.0f - fx) * (1.0f - fy), fx * (1.0f - fy), (1.0f - fx) * fy, fx * fy};

    float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int n = 0; n < 4; ++n) {
        float c[4];
        if (integer32) {
            uint32_t p;
            std::memcpy(&p, pixels + index[n] * 4, 4);
            c[0] = ChannelOf(p, format.redShift, format.redWidth);
            c[1] = ChannelOf(p, format.greenShift, format.greenWidth);
            c[2] = ChannelOf(p, format.blueShift, format.blueWidth);
            c[3] = ChannelOf(p, format.alphaShift, format.alphaWidth);
        } else {
            float rgb[3];
            std::memcpy(rgb, pixels + index[n] * 12, 12);
            c[0] = rgb[format.redMask];
            c[1] = rgb[format.greenMask];
            c[2] = rgb[format.blueMask];
            c[3] = 1.0f;
        }
        for (int k = 0; k < 4; ++k)
            sum[k] += weight[n] * c[k];
    }
    out = zColor(sum[0], sum[1], sum[2], sum[3]);
}

uint32_t zPicture::SampleBilinearRGBA32(float u, float v, int32_t w, int32_t h) const
{
    zColor color;
    SampleBilinear(u, v, color, w, h);
    return color.ToRGBA32();
}

void ClipBlitRects(const zPicture::Rect& sourceBounds, zPicture::Rect& source, const zPicture::Rect& destinationBounds,
                   zPicture::Rect& destination)
{
    // 64-bit arithmetic: rectangles come from scripts and may hold any int32.
    int64_t sx0 = std::max(source.x0, sourceBounds.x0), sy0 = std::max(source.y0, sourceBounds.y0);
    int64_t sx1 = std::min(source.x1, sourceBounds.x1), sy1 = std::min(source.y1, sourceBounds.y1);
    const int64_t offsetX = int64_t(destination.x0) - sx0, offsetY = int64_t(destination.y0) - sy0;
    const int64_t mx0 = sx0 + offsetX, my0 = sy0 + offsetY, mx1 = sx1 + offsetX, my1 = sy1 + offsetY;
    const int64_t dx0 = std::max<int64_t>(mx0, destinationBounds.x0), dy0 = std::max<int64_t>(my0, destinationBounds.y0);
    const int64_t dx1 = std::min<int64_t>(mx1, destinationBounds.x1), dy1 = std::min<int64_t>(my1, destinationBounds.y1);
    sx0 += dx0 - mx0;
    sy0 += dy0 - my0;
    sx1 -= mx1 - dx1;
    sy1 -= my1 - dy1;
    source = {ClampToInt32(sx0), ClampToInt32(sy0), ClampToInt32(sx1), ClampToInt32(sy1)};
    destination = {ClampToInt32(dx0), ClampToInt32(dy0), ClampToInt32(dx1), ClampToInt32(dy1)};
}

void zPicture::Blit(const zPicture& source, zPicture& destination, const Rect* sourceRect, const Rect* destinationRect,
                    int mode)
{
    if (source.pixels == nullptr || destination.pixels == nullptr)
        return;
    if (mode != BlitCopy && mode != BlitBlend && mode != BlitAlphaFromColor)
        return;
    const zPixelFormat& work = destination.format;
    const int bytes = work.bitsPerPixel / 8;
    if (bytes == 0 || (mode != BlitCopy && (work.bitsPerPixel != 32 || work.isFloat)))
        return;

    const Rect sourceBounds{0, 0, source.width, source.height};
    const Rect destinationBounds{0, 0, destination.width, destination.height};
    Rect s = sourceRect != nullptr ? *sourceRect : sourceBounds;
    Rect d = destinationRect != nullptr ? *destinationRect : destinationBounds;
    ClipBlitRects(sourceBounds, s, destinationBounds, d);
    const int32_t w = d.x1 - d.x0, h = d.y1 - d.y0;
    if (w <= 0 || h <= 0)
        return;

    // The source rectangle is brought into the destination's format (or copied
    // away from itself) so the rest of the destination is never touched.
    zPicture region;
    const uint8_t* from;
    size_t fromPitch;
    if (source.format.IsDifferent(work) || &source == &destination) {
        const int sourceBytes = source.format.bitsPerPixel / 8;
        if (sourceBytes == 0 || !region.AllocAs(w, h, source.format))
            return;
        for (int32_t row = 0; row < h; ++row) {
            std::memcpy(region.pixels + size_t(row) * size_t(w) * sourceBytes,
                        source.pixels + (size_t(s.y0 + row) * size_t(source.width) + size_t(s.x0)) * sourceBytes,
                        size_t(w) * sourceBytes);
        }
        if (!region.ConvertTo(work))
            return;
        from = region.pixels;
        fromPitch = size_t(w) * bytes;
    } else {
        from = source.pixels + (size_t(s.y0) * size_t(source.width) + size_t(s.x0)) * bytes;
        fromPitch = size_t(source.width) * bytes;
    }

    const size_t toPitch = size_t(destination.width) * bytes;
    uint8_t* to = destination.pixels + (size_t(d.y0) * size_t(destination.width) + size_t(d.x0)) * bytes;
    const int alpha = AlphaByteIndex(work);
    const int c0 = alpha == 0 ? 1 : 0, c1 = alpha <= 1 ? 2 : 1, c2 = alpha <= 2 ? 3 : 2;

    for (int32_t row = 0; row < h; ++row, from += fromPitch, to += toPitch) {
        if (mode == BlitCopy) {
            std::memcpy(to, from, size_t(w) * bytes);
            continue;
        }
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t* sp = from + size_t(x) * 4;
            uint8_t* dp = to + size_t(x) * 4;
            if (mode == BlitBlend) {
                const uint8_t sA = sp[alpha], dA = dp[alpha];
                const uint8_t A = ComposeAlphaOver(dA, sA);
                dp[c0] = ComposeChannelOver(dp[c0], sp[c0], dA, sA, A);
                dp[c1] = ComposeChannelOver(dp[c1], sp[c1], dA, sA, A);
                dp[c2] = ComposeChannelOver(dp[c2], sp[c2], dA, sA, A);
                dp[alpha] = A;
            } else {
                dp[alpha] = uint8_t((int(sp[c0]) + int(sp[c1]) + int(sp[c2])) / 3);
            }
        }
    }
}

bool zPicture::Resize(int32_t newWidth, int32_t newHeight)
{
    if (newWidth <= 0 || newHeight <= 0 || pixels == nullptr)
        return false;
    if (newWidth == width && newHeight == height)
        return true;
    const bool floating = IsFloatLayout(format);
    if (!floating && (format.bitsPerPixel != 32 || format.isFloat))
        return false;
    const zPixelFormat& target = floating ? PixelFormatRGBFloat : PixelFormatABGR32;
    const uint64_t bytes = BufferBytes(newWidth, newHeight, target.bitsPerPixel);
    uint8_t* buffer = bytes == 0 ? nullptr : static_cast<uint8_t*>(std::malloc(size_t(bytes)));
    if (buffer == nullptr)
        return false;

    const float du = 1.0f / float(newWidth), dv = 1.0f / float(newHeight);
    uint8_t* out = buffer;
    float v = 0.0f;
    for (int32_t j = 0; j < newHeight; ++j, v += dv) {
        float u = 0.0f;
        for (int32_t i = 0; i < newWidth; ++i, u += du) {
            if (floating) {
                zColor color;
                SampleBilinear(u, v, color);
                const float rgb[3] = {color.r, color.g, color.b};
                std::memcpy(out, rgb, 12);
                out += 12;
            } else {
                const uint32_t value = SampleBilinearRGBA32(u, v);
                std::memcpy(out, &value, 4);
                out += 4;
            }
        }
    }
    TakeBuffer(buffer, newWidth, newHeight, target);
    return true;
}

bool zPicture::ApplyConvolution(int32_t kernelWidth, int32_t kernelHeight, const int32_t* kernel)
{
    if (format.bitsPerPixel != 32 || format.isFloat) {
        LogError("zPicture::ApplyConvolution") << "Cannot apply convolution filter to a non RGB32 picture.\n";
        return false;
    }
    if (kernelWidth <= 0 || kernelHeight <= 0 || kernel == nullptr) {
        LogError("zPicture::ApplyConvolution")
            << "Invalid kernel size (" << kernelWidth << "x" << kernelHeight << ").\n";
        return false;
    }
    if (pixels == nullptr || width <= 0 || height <= 0)
        return false;

    int64_t divisor = 0;
    const size_t taps = size_t(kernelWidth) * size_t(kernelHeight);
    for (size_t i = 0; i < taps; ++i)
        divisor += kernel[i];
    // Kernels summing to 0 (edge detectors) keep their raw sums.
    if (divisor == 0)
        divisor = 1;

    const size_t bytes = size_t(width) * size_t(height) * 4;
    std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[bytes]);
    if (!copy)
        return false;
    std::memcpy(copy.get(), pixels, bytes);

    const int32_t halfWidth = kernelWidth / 2, halfHeight = kernelHeight / 2;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            int64_t sum[4] = {0, 0, 0, 0};
            for (int32_t r = 0; r < kernelHeight; ++r) {
                int64_t sy = int64_t(y) + r - halfHeight;
                if (sy < 0 || sy >= height)
                    sy = y;
                const int32_t* row = kernel + size_t(r) * size_t(kernelWidth);
                for (int32_t c = 0; c < kernelWidth; ++c) {
                    int64_t sx = int64_t(x) + c - halfWidth;
                    if (sx < 0 || sx >= width)
                        sx = x;
                    const uint8_t* p = copy.get() + (size_t(sy) * size_t(width) + size_t(sx)) * 4;
                    const int64_t k = row[c];
                    sum[0] += k * p[0];
                    sum[1] += k * p[1];
                    sum[2] += k * p[2];
                    sum[3] += k * p[3];
                }
            }
            uint8_t* out = pixels + (size_t(y) * size_t(width) + size_t(x)) * 4;
            for (int i = 0; i < 4; ++i)
                out[i] = uint8_t(std::clamp<int64_t>(sum[i] / divisor, 0, 255));
        }
    }
    return true;
}
