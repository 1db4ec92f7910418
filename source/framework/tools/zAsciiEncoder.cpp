#include "framework/tools/zAsciiEncoder.h"

#include "framework/system/zLogStream.h"

namespace {

// Output cursor shared by the counting and the filling pass, so both run the
// same code and count the same size.
class Output {
public:
    Output(void* buffer, int32_t capacity)
        : bytes(static_cast<uint8_t*>(buffer)), capacity(capacity > 0 ? capacity : 0) {}

    bool Full() const { return bytes != nullptr && size >= capacity; }
    bool Put(uint8_t value)
    {
        if (bytes != nullptr) {
            if (size >= capacity)
                return false;
            bytes[size] = value;
        }
        ++size;
        return true;
    }

    int32_t size = 0;

private:
    uint8_t* bytes;
    int32_t capacity;
};

bool EncodeRefused(const char* method, int32_t inputLength)
{
    if (inputLength <= zAsciiEncoder::MaxEncodeLength)
        return false;
    LogError(method) << "input too large to encode.\n";
    return true;
}

char UUChar(uint32_t sixBits)
{
    return char(32 + (sixBits & 63u));
}

bool YEncNeedsEscape(uint8_t c)
{
    return c == 0 || c == '\n' || c == '\r' || c == '=';
}

} // namespace

int32_t zAsciiEncoder::UUEncode(const void* input, int32_t inputLength, void* output, int32_t outputLength)
{
    if (input == nullptr || inputLength <= 0 || EncodeRefused("zAsciiEncoder::UUEncode", inputLength))
        return 0;
    const uint8_t* in = static_cast<const uint8_t*>(input);
    Output out(output, outputLength);
    int32_t i = 0;
    while (i < inputLength) {
        const int32_t lineBytes = inputLength - i < 45 ? inputLength - i : 45;
        const int32_t groups = (lineBytes + 2) / 3;
        if (!out.Put(uint8_t(32 + 3 * groups)))
            return out.size;
        for (int32_t g = 0; g < groups; ++g) {
            const uint32_t b1 = in[i];
            const uint32_t b2 = i + 1 < inputLength ? in[i + 1] : 0;
            const uint32_t b3 = i + 2 < inputLength ? in[i + 2] : 0;
            i = inputLength - i > 3 ? i + 3 : inputLength;
            if (!out.Put(UUChar(b1 >> 2)) || !out.Put(UUChar((b1 * 256 + b2) >> 4))
                || !out.Put(UUChar((b2 * 256 + b3) >> 6)) || !out.Put(UUChar(b3)))
                return out.size;
        }
        if (!out.Put('\n'))
            return out.size;
    }
    return out.size;
}

int32_t zAsciiEncoder::UUDecode(const void* input, int32_t inputLength, void* output, int32_t outputLength)
{
    if (input == nullptr || inputLength <= 0)
        return 0;
    const uint8_t* in = static_cast<const uint8_t*>(input);
    Output out(output, outputLength);
    int32_t i = 0;
    while (i < inputLength && !out.Full()) {
        const int32_t groups = (int32_t(in[i]) - 32) / 3;
        if (++i >= inputLength)
            break;
        for (int32_t g = 0; g < groups; ++g) {
            if (inputLength - i < 4) {
                LogWarning("zAsciiEncoder::UUDecode") << "input buffer underflow.\n";
                return out.size;
            }
            // Characters are not masked: the arithmetic wraps like the 32-bit original.
            const uint32_t value = (uint32_t(in[i]) - 32u) * 262144u + (uint32_t(in[i + 1]) - 32u) * 4096u
                + (uint32_t(in[i + 2]) - 32u) * 64u + (uint32_t(in[i + 3]) - 32u);
            i += 4;
            if (!out.Put(uint8_t(value >> 16)) || !out.Put(uint8_t(value >> 8)) || !out.Put(uint8_t(value)))
                return out.size;
        }
        if (i >= inputLength)
            break;
        ++i;
    }
    return out.size;
}

int32_t zAsciiEncoder::yEncode(const void* input, int32_t inputLength, void* output, int32_t outputLength,
                               int32_t lineLength)
{
    if (lineLength <= 0) {
        LogError("zAsciiEncoder::yEncode") << "invalid line-feed size for yEncoding.\n";
        return 0;
    }
    if (input == nullptr || inputLength <= 0 || EncodeRefused("zAsciiEncoder::yEncode", inputLength))
        return 0;
    const uint8_t* in = static_cast<const uint8_t*>(input);
    Output out(output, outputLength);
    int32_t lineCharacters = 0;
    for (int32_t i = 0; i < inputLength; ++i) {
        if (lineCharacters >= lineLength) {
            if (!out.Put('\n'))
                break;
            lineCharacters = 0;
        }
        const uint8_t c = uint8_t(in[i] + 42);
        if (YEncNeedsEscape(c)) {
            if (!out.Put('=') || !out.Put(uint8_t(c + 64)))
                break;
            lineCharacters += 2;
        } else {
            if (!out.Put(c))
                break;
            ++lineCharacters;
        }
    }
    return out.size;
}

int32_t zAsciiEncoder::yDecode(const void* input, int32_t inputLength, void* output, int32_t outputLength)
{
    if (input == nullptr || inputLength <= 0)
        return 0;
    const uint8_t* in = static_cast<const uint8_t*>(input);
    Output out(output, outputLength);
    for (int32_t i = 0; i < inputLength && !out.Full(); ++i) {
        uint8_t c = in[i];
        // One line feed is skipped; what follows it is decoded whatever it is.
        if (c == '\n') {
            if (++i >= inputLength) {
                LogWarning("zAsciiEncoder::yDecode") << "input buffer underflow.\n";
                break;
            }
            c = in[i];
        }
        if (c == '=') {
            if (++i >= inputLength) {
                LogWarning("zAsciiEncoder::yDecode") << "input buffer underflow.\n";
                break;
            }
            out.Put(uint8_t(in[i] - 64 - 42));
        } else {
            out.Put(uint8_t(c - 42));
        }
    }
    return out.size;
}

int64_t zAsciiEncoder::MaxDecodedLength(int32_t encoding, int32_t encodedLength)
{
    if (encodedLength <= 0)
        return 0;
    if (encoding == EncodingUU)
        return int64_t(encodedLength) / 4 * 3;
    return encodedLength;
}
