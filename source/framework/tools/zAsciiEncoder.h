#pragma once

#include <cstdint>

// Printable forms of binary data for ZML binary tags. Every function runs in
// two passes: with a null output it only counts the output size; with an
// output it fills it and never writes past outputLength. Negative lengths
// count as 0. None of them allocates.
class zAsciiEncoder {
public:
    static constexpr int32_t EncodingUU = 0;
    static constexpr int32_t EncodingYEnc = 1;
    static constexpr int32_t YEncLineLength = 64;
    // Larger inputs could need more than an int32 of output characters.
    static constexpr int32_t MaxEncodeLength = 0x7FFFFFFF / 3;

    // Lines of up to 45 bytes: a length character, groups of four characters
    // for three bytes, a line feed.
    static int32_t UUEncode(const void* input, int32_t inputLength, void* output, int32_t outputLength);
    static int32_t UUDecode(const void* input, int32_t inputLength, void* output, int32_t outputLength);
    // One byte to one character, four bytes escaped with '='; a line feed once
    // a line holds lineLength characters.
    static int32_t yEncode(const void* input, int32_t inputLength, void* output, int32_t outputLength,
                           int32_t lineLength);
    static int32_t yDecode(const void* input, int32_t inputLength, void* output, int32_t outputLength);

    // Largest byte count that encodedLength characters can decode to, so that
    // a declared raw size can be checked before anything trusts it.
    static int64_t MaxDecodedLength(int32_t encoding, int32_t encodedLength);
};
