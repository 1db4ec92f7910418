#include "bfat/sample/zSample.h"

#include "framework/system/zLogStream.h"

#include <new>

namespace {

// Byte size of frames in a format; -1 when the format or count cannot describe a buffer.
int64_t BufferSize(int32_t frames, const zSampleFormat& format)
{
    if (frames < 0 || format.channels <= 0 || format.bits <= 0)
        return -1;
    const int64_t size = int64_t(format.bits) * format.channels * frames / 8;
    return size <= int64_t(UINT32_MAX) ? size : -1;
}

} // namespace

zSample::~zSample()
{
    Free();
}

void zSample::Free()
{
    delete[] data;
    data = nullptr;
    frameCount = 0;
}

uint8_t* zSample::AllocAs(int32_t frames, const zSampleFormat& newFormat)
{
    Free();
    format = newFormat;
    const int64_t size = BufferSize(frames, format);
    uint8_t* buffer = size >= 0 ? new (std::nothrow) uint8_t[size_t(size)] : nullptr;
    if (buffer == nullptr) {
        LogError("zSample::AllocAs") << "Failed to allocate raw PCM sample buffer.\n";
        return nullptr;
    }
    data = buffer;
    frameCount = frames;
    return data;
}

uint32_t zSample::GetByteSize() const
{
    const int64_t size = BufferSize(frameCount, format);
    return data != nullptr && size > 0 ? uint32_t(size) : 0;
}
