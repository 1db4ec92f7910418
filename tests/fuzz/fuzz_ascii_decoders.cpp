#include "framework/system/zLogStream.h"
#include "framework/tools/zAsciiEncoder.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

class Silent : public zLogSink {
public:
    void Write(const char*) override {}
};

} // namespace

// Decoders take any text and stay inside their input and output; encoding the
// input and decoding it again gives it back.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Silent silent;
    GlobalLog.SetSink(&silent);
    if (size < 1)
        return 0;
    const int32_t capacity = data[0];
    const std::vector<uint8_t> input(data + 1, data + size);
    const int32_t length = int32_t(input.size());

    for (int32_t encoding : {zAsciiEncoder::EncodingUU, zAsciiEncoder::EncodingYEnc}) {
        auto decode = [&](const void* in, int32_t inLength, void* out, int32_t outLength) {
            return encoding == zAsciiEncoder::EncodingUU ? zAsciiEncoder::UUDecode(in, inLength, out, outLength)
                                                         : zAsciiEncoder::yDecode(in, inLength, out, outLength);
        };
        const int32_t counted = decode(input.data(), length, nullptr, 0);
        if (counted > zAsciiEncoder::MaxDecodedLength(encoding, length))
            __builtin_trap();
        // One spare byte: an empty vector could hand over a null buffer, which means "count".
        std::vector<uint8_t> out(static_cast<size_t>(capacity) + 1);
        const int32_t written = decode(input.data(), length, out.data(), capacity);
        if (written > capacity || written > counted)
            __builtin_trap();

        const int32_t encodedLength = encoding == zAsciiEncoder::EncodingUU
            ? zAsciiEncoder::UUEncode(input.data(), length, nullptr, 0)
            : zAsciiEncoder::yEncode(input.data(), length, nullptr, 0, 1 + capacity % 80);
        std::vector<char> encoded(static_cast<size_t>(encodedLength));
        const int32_t encodedWritten = encoding == zAsciiEncoder::EncodingUU
            ? zAsciiEncoder::UUEncode(input.data(), length, encoded.data(), encodedLength)
            : zAsciiEncoder::yEncode(input.data(), length, encoded.data(), encodedLength, 1 + capacity % 80);
        if (encodedWritten != encodedLength)
            __builtin_trap();
        std::vector<uint8_t> back(input.size());
        if (decode(encoded.data(), encodedLength, back.data(), length) != length
            || (length > 0 && std::memcmp(back.data(), input.data(), input.size()) != 0))
            __builtin_trap();
    }
    return 0;
}
