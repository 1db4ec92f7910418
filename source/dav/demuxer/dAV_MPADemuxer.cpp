#include "dav/demuxer/dAV_MPADemuxer.h"

#include "dav/core/dAV_Stream.h"
#include "framework/filesystem/zStream.h"
#include "framework/system/zLogStream.h"

bool dAV_MPADemuxer::SkipID3(bool log)
{
    const uint32_t start = reader->Tell();
    uint8_t tag[10];
    if (reader->Read(tag, 10) == 10 && tag[0] == 'I' && tag[1] == 'D' && tag[2] == '3') {
        if (log)
            LogInfo("dAV_MPADemuxer::SkipID3") << "Skipping ID3 tag v2." << unsigned(tag[3]) << "." << unsigned(tag[4]) << "\n";
        uint32_t size = uint32_t(tag[6] & 0x7F) << 21 | uint32_t(tag[7] & 0x7F) << 14 | uint32_t(tag[8] & 0x7F) << 7 |
            uint32_t(tag[9] & 0x7F);
        if ((tag[5] & 0x10) != 0)
            size += 10;
        reader->Seek(int32_t(size), 1);
        return true;
    }
    reader->Seek(int32_t(start), 0);
    return false;
}

bool dAV_MPADemuxer::TestDemux(dAV_Stream*)
{
    SkipID3(true);
    uint8_t sync[2];
    const uint32_t count = reader->Read(sync, 2);
    reader->Seek(-int32_t(count), 1);
    if (count < 2 || sync[0] != 0xFF || sync[1] < 0xF0)
        return false;
    LogInfo("dAV_MPADemuxer::TestDemux") << "Stream appears to be elementary MPEG audio.\n";
    if ((sync[1] & 0x08) == 0)
        LogError("dAV_MPADemuxer::TestDemux") << "Elementary MPEG-2 Audio stream unsupported.\n";
    if ((sync[1] & 0x06) == 0)
        LogError("dAV_MPADemuxer::TestDemux") << "Invalid layer.\n";
    return true;
}

bool dAV_MPADemuxer::FindFormat(const uint8_t* bytes, size_t count, dAV_AudioFormat& format)
{
    // Rates by version (bits 4-3 of byte 1: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5) and index.
    static const int32_t rates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    for (size_t i = 0; i + 4 <= count; ++i) {
        const uint8_t* header = bytes + i;
        if (header[0] != 0xFF || (header[1] & 0xE0) != 0xE0 || (header[1] & 0x06) == 0)
            continue;
        const int version = (header[1] >> 3) & 3;
        const int rateIndex = (header[2] >> 2) & 3;
        if (rateIndex == 3 || rates[version][rateIndex] == 0 || (header[2] >> 4) == 15)
            continue;
        format.rate = rates[version][rateIndex];
        format.bits = 16;
        format.stereo = (header[3] >> 6) != 3;
        return true;
    }
    return false;
}

bool dAV_MPADemuxer::Init(dAV_Stream* stream, bool)
{
    if ((sideFlags & DeliversAudio) == 0)
        return true;
    uint8_t header[4];
    const uint32_t count = reader->Read(header, 4);
    reader->Seek(-int32_t(count), 1);
    dAV_AudioFormat format;
    if (FindFormat(header, count, format))
        stream->SetAudioFormat(format);
    return true;
}

bool dAV_MPADemuxer::DemuxNext(dAV_Stream* stream)
{
    // Audio only: the instance opened for a video side has nothing to deliver.
    if ((sideFlags & DeliversAudio) == 0) {
        ended = 1;
        return true;
    }
    const uint32_t count = reader->Read(block, BlockSize);
    if (count > 0)
        stream->DecodeAudio(2, block, block + count, 0);
    if (count < BlockSize) {
        ended = 1;
        return true;
    }
    return false;
}

bool dAV_MPADemuxer::Seek(dAV_Stream* stream, int32_t ms)
{
    if ((sideFlags & DeliversAudio) == 0)
        return true;
    stream->Rewind();
    SkipID3(false);
    if (stream->GetAudioDecoder() == nullptr && !stream->SelectAudioDecoder(2))
        return false;
    dAV_AudioDecoder* decoder = stream->GetAudioDecoder();
    for (;;) {
        const uint32_t count = reader->Read(block, BlockSize);
        const int32_t reached = decoder->Seek(block, block + count, ms);
        if (reached > ms)
            return true;
        if (count < BlockSize)
            return false;
    }
}
