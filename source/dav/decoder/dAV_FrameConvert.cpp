#include "dav/decoder/dAV_FrameConvert.h"

#include "framework/system/zSimd.h"

#include <array>

namespace {

// libmpeg2's inverse matrix for ITU-R 601 (its default), in 16.16, and the
// luma scale 255 / 219.
constexpr int32_t CoefficientRV = 104597;
constexpr int32_t CoefficientBU = 132201;
constexpr int32_t CoefficientGU = -25675;
constexpr int32_t CoefficientGV = -53279;
constexpr int32_t LumaScale = 76309;

constexpr int32_t DivideRounded(int32_t dividend, int32_t divisor)
{
    return dividend > 0 ? (dividend + (divisor >> 1)) / divisor : -((-dividend + (divisor >> 1)) / divisor);
}

// Chroma offsets in luma steps, as libmpeg2 tabulates them.
struct ChromaTables {
    std::array<int16_t, 256> red{};
    std::array<int16_t, 256> greenU{};
    std::array<int16_t, 256> greenV{};
    std::array<int16_t, 256> blue{};
};

constexpr ChromaTables MakeChromaTables()
{
    ChromaTables tables;
    for (int32_t i = 0; i < 256; ++i) {
        tables.red[i] = int16_t(DivideRounded(CoefficientRV * (i - 128), LumaScale));
        tables.greenU[i] = int16_t(DivideRounded(CoefficientGU * (i - 128), LumaScale));
        tables.greenV[i] = int16_t(DivideRounded(CoefficientGV * (i - 128), LumaScale));
        tables.blue[i] = int16_t(DivideRounded(CoefficientBU * (i - 128), LumaScale));
    }
    return tables;
}

constexpr ChromaTables Chroma = MakeChromaTables();

inline uint8_t ScaleLuma(int32_t value)
{
    const int32_t scaled = (LumaScale * (value - 16) + 32768) >> 16;
    return uint8_t(scaled < 0 ? 0 : scaled > 255 ? 255 : scaled);
}

inline void ConvertPixel(uint8_t luma, uint8_t u, uint8_t v, uint8_t* out)
{
    out[0] = ScaleLuma(luma + Chroma.blue[u]);
    out[1] = ScaleLuma(luma + Chroma.greenU[u] + Chroma.greenV[v]);
    out[2] = ScaleLuma(luma + Chroma.red[v]);
    out[3] = 0;
}

#if TAVRIN_SIMD_SSE2
// (76309 t + 32768) >> 16 = t + ((10773 t + 32768) >> 16): the fraction goes
// through one multiply-add per pair of lanes, then saturates to bytes.
inline __m128i ScaleLuma8(__m128i t)
{
    const __m128i factors = _mm_set1_epi32((16384 << 16) | (LumaScale - 65536));
    const __m128i two = _mm_set1_epi16(2);
    const __m128i low = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(t, two), factors), 16);
    const __m128i high = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(t, two), factors), 16);
    return _mm_add_epi16(t, _mm_packs_epi32(low, high));
}

inline __m128i Spread4(int16_t a, int16_t b, int16_t c, int16_t d)
{
    return _mm_set_epi16(d, d, c, c, b, b, a, a);
}

// Eight pixels from eight luma and four of each chroma samples.
inline void ConvertGroup8(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i luma = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(y)), zero),
        _mm_set1_epi16(16));
    const __m128i blueOffset = Spread4(Chroma.blue[u[0]], Chroma.blue[u[1]], Chroma.blue[u[2]], Chroma.blue[u[3]]);
    const __m128i redOffset = Spread4(Chroma.red[v[0]], Chroma.red[v[1]], Chroma.red[v[2]], Chroma.red[v[3]]);
    const __m128i greenOffset = Spread4(int16_t(Chroma.greenU[u[0]] + Chroma.greenV[v[0]]),
        int16_t(Chroma.greenU[u[1]] + Chroma.greenV[v[1]]), int16_t(Chroma.greenU[u[2]] + Chroma.greenV[v[2]]),
        int16_t(Chroma.greenU[u[3]] + Chroma.greenV[v[3]]));

    const __m128i blue = ScaleLuma8(_mm_add_epi16(luma, blueOffset));
    const __m128i green = ScaleLuma8(_mm_add_epi16(luma, greenOffset));
    const __m128i red = ScaleLuma8(_mm_add_epi16(luma, redOffset));
    const __m128i blueGreen = _mm_unpacklo_epi8(_mm_packus_epi16(blue, blue), _mm_packus_epi16(green, green));
    const __m128i redZero = _mm_unpacklo_epi8(_mm_packus_epi16(red, red), zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(blueGreen, redZero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(blueGreen, redZero));
}
#endif

} // namespace

void ConvertYUV420RowToRGB32(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* output, int32_t pixels)
{
    int32_t x = 0;
#if TAVRIN_SIMD_SSE2
    for (; x + 8 <= pixels; x += 8)
        ConvertGroup8(y + x, u + x / 2, v + x / 2, output + 4 * x);
#endif
    // The tail of a row whose width is not a multiple of 8 goes pixel by pixel,
    // so nothing past the row is read or written.
    for (; x < pixels; ++x)
        ConvertPixel(y[x], u[x / 2], v[x / 2], output + 4 * x);
}

void ConvertYUV420ToRGB32(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* output, int32_t width,
    int32_t height, int32_t stride, int32_t rowLimit)
{
    if (y == nullptr || u == nullptr || v == nullptr || output == nullptr || width <= 0 || height <= 0)
        return;
    if (stride <= 0)
        stride = width * 4;
    const int32_t rows = rowLimit > 0 && rowLimit < height ? rowLimit : height;
    const int32_t pixels = width < stride / 4 ? width : stride / 4;
    const int32_t chromaWidth = (width + 1) / 2;

    // Small frames are not worth waking the workers for.
    [[maybe_unused]] const bool parallel = int64_t(rows) * pixels >= 64 * 1024;
#if defined(_OPENMP) && !defined(DAV_SERIAL_CONVERSION)
#pragma omp parallel for schedule(static) if (parallel)
#endif
    for (int32_t row = 0; row < rows; ++row) {
        const int32_t chromaRow = row / 2;
        ConvertYUV420RowToRGB32(y + int64_t(width) * row, u + int64_t(chromaWidth) * chromaRow,
            v + int64_t(chromaWidth) * chromaRow, output + int64_t(stride) * row, pixels);
    }
}
