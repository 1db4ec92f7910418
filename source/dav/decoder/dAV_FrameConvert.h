#pragma once

#include <cstdint>

// Converts a planar YUV 4:2:0 frame into 32-bit pixels, bytes B, G, R, 0, with
// libmpeg2's ITU-R 601 coefficients. Luma rows are width bytes apart, chroma
// rows (width + 1) / 2. A stride of 0 means width x 4 bytes; a row limit of 0
// converts every row. Each row writes min(width, stride / 4) pixels and never
// more. Rows are converted in parallel.
void ConvertYUV420ToRGB32(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* output, int32_t width,
    int32_t height, int32_t stride = 0, int32_t rowLimit = 0);

// One row of the conversion: pixels luma samples and (pixels + 1) / 2 of each
// chroma, 4 x pixels output bytes.
void ConvertYUV420RowToRGB32(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* output, int32_t pixels);
