#include "bfat/sample/zSampleIO.h"

#include "framework/filesystem/zStream.h"
#include "framework/system/zLogStream.h"

#include <cstdint>
#include <cstring>

bool zSampleIO::Load(zSample& sample, const char* path)
{
    if (path == nullptr || !zStream::Exists(path))
        return false;
    if (lowlevel_wav_load(path, sample))
        return true;
    LogError("zSampleIO::Load") << "No sample decoder for '" << path << "'!\n";
    return false;
}

namespace {

constexpr uint32_t FormatChunkSize = 16;

// Format tags: only integer PCM is read. An extensible header names its real
// format in the first two bytes of the sub-format GUID at content offset 24.
constexpr uint16_t FormatTagPcm = 1;
constexpr uint16_t FormatTagExtensible = 0xFFFE;
constexpr uint32_t ExtensibleChunkSize = 40;

uint16_t ReadU16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

bool lowlevel_wav_load(const char* path, zSample& sample)
{
    sample.Free();
    if (path == nullptr)
        return false;
    zStream file(1);
    if (!file.Open(path, true, false))
        return false;
    uint8_t header[12];
    if (file.Read(header, 12) != 12 || std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0)
        return false;

    zSampleFormat format;
    bool formatSeen = false;
    bool dataSeen = false;
    const uint32_t fileSize = file.GetSize();
    uint8_t id[4];
    while (file.Read(id, 4) == 4) {
        uint32_t size = 0;
        if (!file.ReadU32(size))
            break;
        // The size comes from the file: it may not reach past the file's end,
        // nor past what one relative seek can skip.
        const uint32_t position = file.Tell();
        uint32_t left = fileSize > position ? fileSize - position : 0;
        if (left > uint32_t(INT32_MAX))
            left = uint32_t(INT32_MAX);

        if (std::memcmp(id, "fmt ", 4) == 0) {
            if (size > FormatChunkSize)
                LogWarning("lowlevel_wav_load") << "Unexpected WAV 'format' chunk size. Found " << size << ", expected "
                                                << FormatChunkSize << ".\n";
            uint8_t content[FormatChunkSize];
            // A chunk shorter than its 16 fields leaves some of them unread: it cannot be used.
            if (size < FormatChunkSize || file.Read(content, FormatChunkSize) != FormatChunkSize) {
                LogError("lowlevel_wav_load") << "Mangled WAV 'format' chunk in '" << path << "'.\n";
                return false;
            }
            uint16_t tag = ReadU16(content);
            uint32_t consumed = FormatChunkSize;
            if (tag == FormatTagExtensible && size >= ExtensibleChunkSize && left >= ExtensibleChunkSize) {
                uint8_t extension[ExtensibleChunkSize - FormatChunkSize];
                if (file.Read(extension, sizeof(extension)) != sizeof(extension)) {
                    LogError("lowlevel_wav_load") << "Mangled WAV 'format' chunk in '" << path << "'.\n";
                    return false;
                }
                consumed = ExtensibleChunkSize;
                tag = ReadU16(extension + 8);
            }
            // Compressed and floating-point data would otherwise play as noise.
            if (tag != FormatTagPcm) {
                LogError("lowlevel_wav_load") << "Unsupported WAV format tag " << unsigned(tag) << " in '" << path
                                              << "': only PCM is read.\n";
                return false;
            }
            if (size > consumed && (size - consumed > left - consumed || !file.Seek(int32_t(size - consumed), 1)))
                break;
            format.channels = ReadU16(content + 2);
            format.rate = int32_t(ReadU32(content + 4));
            format.bits = ReadU16(content + 14);
            formatSeen = true;
        } else if (std::memcmp(id, "data", 4) == 0) {
            // Values must fill whole bytes: the buffer is sized from the bit count.
            if (!formatSeen || format.bits < 8 || format.bits % 8 != 0 || format.channels <= 0) {
                LogError("lowlevel_wav_load") << "WAV 'data' chunk without a usable format in '" << path << "'.\n";
                return false;
            }
            if (size > left) {
                LogError("lowlevel_wav_load") << "mangled WAV 'data' chunk in '" << path << "'.\n";
                return false;
            }
            const uint32_t frames = size / uint32_t(format.bits / 8) / uint32_t(format.channels);
            if (frames > uint32_t(INT32_MAX) || sample.AllocAs(int32_t(frames), format) == nullptr) {
                LogError("lowlevel_wav_load") << "failed to allocate WAV data chunk for '" << path << "'.\n";
                return false;
            }
            // A partial frame at the end of the chunk is not kept.
            const uint32_t kept = sample.GetByteSize() < size ? sample.GetByteSize() : size;
            if (file.Read(sample.data, kept) != kept) {
                LogError("lowlevel_wav_load") << "mangled WAV 'data' chunk in '" << path << "'.\n";
                return false;
            }
            if (kept < size)
                file.Seek(int32_t(size - kept), 1);
            dataSeen = true;
        } else {
            if (size > left || !file.Seek(int32_t(size), 1))
                break;
        }
    }

    if (formatSeen)
        *GlobalLogStream << "Sample format: " << format.rate / 1000 << "KHz@" << format.bits << "bit, " << format.channels
                         << " channel(s).\n";
    return formatSeen && dataSeen;
}
