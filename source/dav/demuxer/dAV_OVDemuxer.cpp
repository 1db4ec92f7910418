#include "dav/demuxer/dAV_OVDemuxer.h"

#include "dav/core/dAV_Stream.h"
#include "framework/filesystem/zStream.h"
#include "framework/system/zLogStream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

namespace {

constexpr uint32_t PageHeaderSize = 27;
// A frame found this close before the target is decoded forward instead of bisecting further.
constexpr int64_t ForwardWindow = 24000;

constexpr std::array<uint32_t, 256> MakeChecksumTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t value = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x80000000u) != 0 ? (value << 1) ^ 0x04C11DB7u : value << 1;
        table[i] = value;
    }
    return table;
}

constexpr std::array<uint32_t, 256> ChecksumTable = MakeChecksumTable();

uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int16_t ToSample(float value)
{
    const float scaled = value * 32768.0f;
    if (scaled >= 32767.0f)
        return 32767;
    if (scaled <= -32768.0f)
        return -32768;
    if (scaled != scaled)
        return 0;
    return int16_t(scaled);
}

} // namespace

uint32_t dAV_OVDemuxer::PageChecksum(const uint8_t* page, uint32_t size)
{
    uint32_t crc = 0;
    for (uint32_t i = 0; i < size; ++i) {
        // The checksum field itself counts as zeros.
        const uint8_t byte = i >= 22 && i < 26 ? 0 : page[i];
        crc = (crc << 8) ^ ChecksumTable[((crc >> 24) ^ byte) & 0xFF];
    }
    return crc;
}

dAV_OVDemuxer::~dAV_OVDemuxer()
{
    Close();
}

void dAV_OVDemuxer::Close()
{
    CloseDecoder();
    input.reset();
    inputCapacity = 0;
    pending = 0;
    checked = 0;
    output.reset();
    outputFrames = 0;
}

void dAV_OVDemuxer::CloseDecoder()
{
    if (decoder != nullptr)
        stb_vorbis_close(decoder);
    decoder = nullptr;
}

bool dAV_OVDemuxer::Grow()
{
    if (inputCapacity >= MaxInputSize)
        return false;
    const uint32_t capacity = std::min(inputCapacity * 2, MaxInputSize);
    uint8_t* grown = new (std::nothrow) uint8_t[capacity];
    if (grown == nullptr)
        return false;
    std::memcpy(grown, input.get(), pending);
    input.reset(grown);
    inputCapacity = capacity;
    return true;
}

uint32_t dAV_OVDemuxer::TopUp()
{
    if (inputEnded || pending >= inputCapacity)
        return 0;
    const uint32_t wanted = inputCapacity - pending;
    const uint32_t count = reader->Read(input.get() + pending, wanted);
    pending += count;
    if (count < wanted)
        inputEnded = true;
    return count;
}

void dAV_OVDemuxer::Consume(uint32_t count)
{
    count = std::min(count, checked);
    std::memmove(input.get(), input.get() + count, pending - count);
    pending -= count;
    checked -= count;
}

void dAV_OVDemuxer::CheckPages(bool dropGarbage)
{
    bool resyncing = false;
    auto drop = [this](uint32_t count) {
        std::memmove(input.get() + checked, input.get() + checked + count, pending - checked - count);
        pending -= count;
    };
    while (checked < pending && !formatChanged) {
        const uint8_t* page = input.get() + checked;
        const uint32_t available = pending - checked;
        if (available < 4)
            break;
        if (std::memcmp(page, "OggS", 4) != 0) {
            if (!dropGarbage)
                break;
            uint32_t next = 1;
            while (next + 4 <= available && std::memcmp(page + next, "OggS", 4) != 0)
                ++next;
            // Without a capture pattern, keep the last bytes: they may begin one.
            if (next + 4 > available)
                next = available - 3;
            if (!resyncing)
                LogWarning("dAV_OVDemuxer::CheckPages") << "Skipped " << next << " byte(s) of garbage in the Ogg stream.\n";
            resyncing = true;
            drop(next);
            continue;
        }
        if (available < PageHeaderSize || available < PageHeaderSize + page[26])
            break;
        uint32_t size = PageHeaderSize + page[26];
        for (uint32_t i = 0; i < page[26]; ++i)
            size += page[PageHeaderSize + i];
        if (available < size)
            break;
        if (page[4] != 0 || PageChecksum(page, size) != ReadU32(page + 22)) {
            if (!dropGarbage)
                break;
            // The header that gave the size is not to be trusted: resynchronise on the next capture pattern.
            LogWarning("dAV_OVDemuxer::CheckPages") << "Dropped an Ogg page with a bad checksum.\n";
            resyncing = true;
            drop(4);
            continue;
        }
        const uint32_t pageSerial = ReadU32(page + 14);
        if (!serialKnown) {
            serial = pageSerial;
            serialKnown = true;
        } else if ((page[5] & 0x02) != 0 && (pageSerial == serial || streamEndSeen)) {
            // A stream that begins again (a chained file) may change
            // everything: the side ends there.
            formatChanged = true;
            break;
        } else if (pageSerial != serial) {
            // Pages of another logical stream are not ours to decode.
            drop(size);
            continue;
        }
        if ((page[5] & 0x04) != 0)
            streamEndSeen = true;
        checked += size;
        resyncing = false;
    }
}

bool dAV_OVDemuxer::OpenDecoder()
{
    CloseDecoder();
    if (input == nullptr) {
        input.reset(new (std::nothrow) uint8_t[InputSize]);
        if (input == nullptr)
            return false;
        inputCapacity = InputSize;
    }
    pending = 0;
    checked = 0;
    inputEnded = false;
    serialKnown = false;
    streamEndSeen = false;
    formatChanged = false;
    outputFrames = 0;
    skipSamples = 0;
    for (;;) {
        TopUp();
        CheckPages(false);
        if (checked > 0) {
            int used = 0;
            int error = 0;
            decoder = stb_vorbis_open_pushdata(input.get(), int(checked), &used, &error, nullptr);
            if (decoder != nullptr) {
                Consume(uint32_t(std::max(used, 0)));
                dataStart = reader->Tell() - pending;
                return true;
            }
            if (error != VORBIS_need_more_data)
                return false;
        }
        // The headers need more than the buffer holds: only whole valid pages count.
        if (inputEnded || pending < inputCapacity || !Grow())
            return false;
    }
}

bool dAV_OVDemuxer::TestDemux(dAV_Stream*)
{
    return OpenDecoder();
}

bool dAV_OVDemuxer::Init(dAV_Stream* stream, bool)
{
    if (decoder == nullptr)
        return false;
    const stb_vorbis_info info = stb_vorbis_get_info(decoder);
    sampleRate = int32_t(info.sample_rate);
    channels = info.channels;
    setupMemory = info.setup_memory_required;
    setupTempMemory = info.setup_temp_memory_required;
    tempMemory = info.temp_memory_required;
    maxFrameSize = info.max_frame_size;
    LogInfo("dAV_OVDemuxer::Init") << "OGG Vorbis audio stream " << sampleRate << "hz 16bit " << channels << " channel(s).\n";
    LogInfo("dAV_OVDemuxer::Init") << "    Max frame size = " << maxFrameSize << "\n";
    // The audio format carries mono or stereo only.
    if (channels < 1 || channels > 2 || sampleRate <= 0 || maxFrameSize <= 0) {
        LogError("dAV_OVDemuxer::Init") << "Unsupported Vorbis stream: " << channels << " channel(s) at " << sampleRate << "hz.\n";
        return false;
    }
    output.reset(new (std::nothrow) int16_t[size_t(maxFrameSize) * 2 * size_t(channels)]);
    if (output == nullptr) {
        LogError("dAV_OVDemuxer::Init") << "Failed to allocate output frame buffer.\n";
        return false;
    }
    if ((sideFlags & DeliversAudio) != 0) {
        dAV_AudioFormat format;
        format.rate = sampleRate;
        format.bits = 16;
        format.stereo = channels == 2;
        stream->SetAudioFormat(format);
    }
    return true;
}

dAV_OVDemuxer::Step dAV_OVDemuxer::DecodeStep(float**& samples, int& count)
{
    count = 0;
    const uint32_t read = TopUp();
    CheckPages(true);
    if (checked == 0) {
        if (formatChanged) {
            if (!formatChangeLogged)
                LogWarning("dAV_OVDemuxer::DemuxNext") << "A new logical stream begins: the Ogg stream ends here.\n";
            formatChangeLogged = true;
            return Step::End;
        }
        if (read > 0 || (pending == inputCapacity && Grow()))
            return Step::Progress;
        if (pending == inputCapacity)
            LogError("dAV_OVDemuxer::DemuxNext") << "Ogg page larger than the input buffer: the stream ends here.\n";
        return Step::End;
    }
    int frameChannels = 0;
    const int used = stb_vorbis_decode_frame_pushdata(decoder, input.get(), int(checked), &frameChannels, &samples, &count);
    if (used <= 0) {
        count = 0;
        // The packet needs pages that are not here yet.
        if (read > 0 || (pending == inputCapacity && Grow()))
            return Step::Progress;
        if (pending == inputCapacity)
            LogError("dAV_OVDemuxer::DemuxNext") << "Vorbis packet larger than the input buffer: the stream ends here.\n";
        return Step::End;
    }
    Consume(uint32_t(used));
    if (count < 0 || frameChannels != channels)
        count = 0;
    return count > 0 ? Step::Frame : Step::Progress;
}

int dAV_OVDemuxer::ConvertFrames(float** samples, int first, int count)
{
    count = std::min(count - first, 2 * maxFrameSize);
    if (count <= 0)
        return 0;
    int16_t* out = output.get();
    for (int i = 0; i < count; ++i) {
        for (int channel = 0; channel < channels; ++channel)
            *out++ = ToSample(samples[channel][first + i]);
    }
    return count;
}

void dAV_OVDemuxer::WriteOutput(dAV_Stream* stream, int frames)
{
    if (frames <= 0)
        return;
    dAV_AudioFormat format;
    format.rate = sampleRate;
    format.bits = 16;
    format.stereo = channels == 2;
    stream->WriteAudio(format, output.get(), uint32_t(frames) * uint32_t(channels) * 2, 0);
}

bool dAV_OVDemuxer::DemuxNext(dAV_Stream* stream)
{
    if ((sideFlags & DeliversAudio) == 0 || decoder == nullptr || output == nullptr) {
        ended = 1;
        return true;
    }
    // A seek left the tail of the frame holding its target.
    if (outputFrames > 0) {
        WriteOutput(stream, outputFrames);
        outputFrames = 0;
        return false;
    }
    float** samples = nullptr;
    int count = 0;
    switch (DecodeStep(samples, count)) {
    case Step::End:
        ended = 1;
        return true;
    case Step::Progress:
        return false;
    case Step::Frame:
        break;
    }
    const int first = std::min(skipSamples, count);
    skipSamples = 0;
    WriteOutput(stream, ConvertFrames(samples, first, count));
    return false;
}

void dAV_OVDemuxer::OnRewind()
{
    // The decoder starts over on the headers: the first samples come out exactly as at the first open.
    if (input != nullptr && !OpenDecoder())
        LogError("dAV_OVDemuxer::Rewind") << "Failed to reopen the Vorbis decoder.\n";
}

int64_t dAV_OVDemuxer::PositionAt(uint32_t offset)
{
    reader->Seek(int32_t(offset), 0);
    pending = 0;
    checked = 0;
    inputEnded = false;
    formatChanged = false;
    stb_vorbis_flush_pushdata(decoder);
    for (;;) {
        float** samples = nullptr;
        int count = 0;
        if (DecodeStep(samples, count) == Step::End)
            return -1;
        const int position = stb_vorbis_get_sample_offset(decoder);
        if (position >= 0)
            return position;
    }
}

bool dAV_OVDemuxer::Seek(dAV_Stream*, int32_t ms)
{
    if ((sideFlags & DeliversAudio) == 0 || output == nullptr)
        return true;
    outputFrames = 0;
    skipSamples = 0;
    const int64_t target = int64_t(ms > 0 ? ms : 0) * sampleRate / 1000;
    if (target < 1024) {
        reader->Rewind();
        OnRewind();
        return decoder != nullptr;
    }
    if (decoder == nullptr)
        return false;

    // Bisect over byte positions for a page a little before the target. Every
    // step halves the interval; once it cannot, decoding goes forward from its
    // start. The header pages stay out: their granule positions of 0 say
    // nothing about the samples after them.
    uint32_t low = dataStart;
    uint32_t high = std::max(reader->GetSize(), low);
    bool found = false;
    while (high - low >= 2) {
        const uint32_t middle = low + (high - low) / 2;
        const int64_t position = PositionAt(middle);
        // After a page found this way the decoder drops one frame to prime
        // itself: a target inside that frame needs an earlier page.
        if (position < 0 || position + 2 * int64_t(maxFrameSize) > target) {
            high = middle;
        } else if (position <= target - ForwardWindow) {
            low = middle;
        } else {
            found = true;
            break;
        }
    }
    if (!found) {
        if (low == dataStart) {
            reader->Rewind();
            OnRewind();
            if (decoder == nullptr)
                return false;
        } else if (PositionAt(low) < 0) {
            return true;
        }
    }

    for (;;) {
        float** samples = nullptr;
        int count = 0;
        const Step step = DecodeStep(samples, count);
        if (step == Step::End)
            return true;
        const int64_t end = stb_vorbis_get_sample_offset(decoder);
        if (step != Step::Frame || end < 0 || end <= target)
            continue;
        const int64_t start = end - count;
        const int skip = int(std::clamp<int64_t>(target - start, 0, count));
        *GlobalLogStream << "Seeking to " << ms << "ms, " << skip << " sample(s) to skip.\n";
        outputFrames = ConvertFrames(samples, skip, count);
        return true;
    }
}
