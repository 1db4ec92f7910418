#include "dav/core/dAV_Stream.h"

#include "dav/decoder/dAV_MADDecoder.h"
#include "dav/decoder/dAV_MPEGVideoDecoder.h"
#include "dav/demuxer/dAV_MPADemuxer.h"
#include "dav/demuxer/dAV_OVDemuxer.h"
#include "dav/demuxer/dAV_PSDemuxer.h"
#include "framework/system/zLogStream.h"

#include <algorithm>
#include <new>

namespace {

// A late elapsed time presents at most this many ticks' worth of frames.
constexpr int32_t MaxVideoCatchUp = 1000;

} // namespace

dAV_Stream::dAV_Stream(dAV_Driver* videoDriver, dAV_AudioDriver* audioDriver)
    : videoDriver(videoDriver), audioDriver(audioDriver)
{
}

dAV_Stream::~dAV_Stream()
{
    Close();
    Release();
}

bool dAV_Stream::Open(const char* path, bool scan)
{
    Close();
    if (path == nullptr)
        return false;
    LogHeading("dAV_Stream::Open") << "Opening stream '" << path << "'.\n";

    if (videoDriver != nullptr) {
        if (!videoReader.Open(path, true, false)) {
            Release();
            return false;
        }
        videoDemuxer = SelectDemuxer(&videoReader);
        if (videoDemuxer == nullptr) {
            Release();
            return false;
        }
        videoDemuxer->sideFlags |= dAV_Demuxer::DeliversVideo;
        *GlobalLogStream << "SelectVideoDemuxer(): Using '" << videoDemuxer->GetName() << "'.\n";
    }
    if (audioDriver != nullptr) {
        if (!audioReader.Open(path, true, false)) {
            Release();
            return false;
        }
        audioDemuxer = SelectDemuxer(&audioReader);
        if (audioDemuxer == nullptr) {
            Release();
            return false;
        }
        audioDemuxer->sideFlags |= dAV_Demuxer::DeliversAudio;
        *GlobalLogStream << "SelectAudioDemuxer(): Using '" << audioDemuxer->GetName() << "'.\n";
    }

    audioFormat = dAV_AudioFormat();
    if ((videoDemuxer != nullptr && !videoDemuxer->Init(this, scan)) ||
        (audioDemuxer != nullptr && !audioDemuxer->Init(this, scan))) {
        LogError("dAV_Stream::Open") << "No demuxer found for this stream.\n";
        // A failed open keeps nothing: the next open starts clean.
        Release();
        return false;
    }

    audioCodecId = 0;
    videoCodecId = 0;
    videoPaused = false;
    videoClock = 0;
    state = Playing;
    PresetEndFlags();
    Prefill(true, true);
    return true;
}

void dAV_Stream::Close()
{
    if (state == Closed) {
        // Nothing is logged, but whatever a failed open left goes.
        Release();
        return;
    }
    *GlobalLogStream << "StreamClose().\n" << "\n";
    Release();
    state = Closed;

    if (gapless) {
        // A missing driver has nothing to continue and does not hold gapless back.
        const bool audioGapless = audioDriver == nullptr || audioDriver->SupportsGapless();
        if (audioGapless && (videoDriver == nullptr || videoDriver->SupportsGapless()))
            return;
        LogError("dAV_Stream::Close") << "A/V driver does not support gapless playback.\n";
    }
    if (audioDriver != nullptr)
        audioDriver->EndOfStream();
    if (videoDriver != nullptr)
        videoDriver->ClearFrame();
}

void dAV_Stream::Release()
{
    delete videoDecoder;
    videoDecoder = nullptr;
    delete audioDecoder;
    audioDecoder = nullptr;
    delete videoDemuxer;
    videoDemuxer = nullptr;
    delete audioDemuxer;
    audioDemuxer = nullptr;
    audioCodecId = 0;
    videoCodecId = 0;
    videoReader.Close();
    audioReader.Close();
    pendingAudio.clear();
    videoDemuxDone = false;
    audioDemuxDone = false;
}

dAV_Demuxer* dAV_Stream::SelectDemuxer(zStream* reader)
{
    using Factory = dAV_Demuxer* (*)(zStream*);
    static constexpr Factory candidates[] = {
        [](zStream* r) -> dAV_Demuxer* { return new (std::nothrow) dAV_PSDemuxer(r); },
        [](zStream* r) -> dAV_Demuxer* { return new (std::nothrow) dAV_MPADemuxer(r); },
        [](zStream* r) -> dAV_Demuxer* { return new (std::nothrow) dAV_OVDemuxer(r); },
    };
    for (Factory create : candidates) {
        dAV_Demuxer* demuxer = create(reader);
        if (demuxer != nullptr && demuxer->TestDemux(this))
            return demuxer;
        delete demuxer;
        reader->Rewind();
    }
    LogError("dAV_Stream::SelectDemuxer") << "No suitable demuxer for stream.\n";
    return nullptr;
}

void dAV_Stream::PresetEndFlags()
{
    endFlags = 0;
    if (audioDriver == nullptr)
        endFlags |= AudioEnded;
    if (videoDriver == nullptr)
        endFlags |= VideoEnded;
}

void dAV_Stream::ResetSides()
{
    pendingAudio.clear();
    videoDemuxDone = false;
    audioDemuxDone = false;
    PresetEndFlags();
}

void dAV_Stream::Prefill(bool video, bool audio)
{
    if (video)
        FillVideo();
    if (audio)
        FillAudio();
    CheckFinished();
}

void dAV_Stream::FillVideo()
{
    if (videoDriver == nullptr)
        return;
    while ((endFlags & VideoEnded) == 0) {
        if (videoDriver->HasFrame())
            break;
        if (videoDecoder != nullptr && videoDecoder->HasBacklog()) {
            videoDecoder->Resume(this);
            continue;
        }
        if (videoDemuxer == nullptr || videoDemuxDone) {
            endFlags |= VideoEnded;
            break;
        }
        if (videoDemuxer->DemuxNext(this)) {
            // The decoder's last frames go out before the side may end.
            videoDemuxDone = true;
            if (videoDecoder != nullptr)
                videoDecoder->Finish(this);
        }
    }
}

void dAV_Stream::FillAudio()
{
    if (audioDriver == nullptr)
        return;
    while ((endFlags & AudioEnded) == 0) {
        if (!FlushPendingAudio())
            break;
        if (audioDemuxer == nullptr || audioDemuxDone) {
            endFlags |= AudioEnded;
            break;
        }
        if (audioDriver->IsBufferFull())
            break;
        if (audioDemuxer->DemuxNext(this)) {
            // The decoder's last frames go out before the side may end.
            audioDemuxDone = true;
            if (audioDecoder != nullptr)
                audioDecoder->Finish(this);
        }
    }
}

void dAV_Stream::CheckFinished()
{
    if (state == Playing && (endFlags & (AudioEnded | VideoEnded)) == (AudioEnded | VideoEnded))
        state = Finished;
}

bool dAV_Stream::Update(int32_t elapsed)
{
    if (elapsed <= 0)
        return false;
    if (audioDriver != nullptr && audioDemuxer != nullptr) {
        FillAudio();
        CheckFinished();
        audioDriver->FillDone();
    }
    if (videoPaused || videoDriver == nullptr || videoDemuxer == nullptr)
        return true;

    videoClock -= std::min(elapsed, MaxVideoCatchUp);
    while (videoClock < 0) {
        FillVideo();
        CheckFinished();
        videoDriver->PresentFrame();
        videoClock += framePeriod;
    }
    return true;
}

bool dAV_Stream::Seek(int32_t ms)
{
    // A closed stream has nothing to seek and must not claim to play.
    if (state == Closed)
        return false;
    ResetSides();
    if (videoDecoder != nullptr)
        videoDecoder->Discard();
    if (videoDemuxer != nullptr)
        videoDemuxer->Seek(this, ms);
    if (audioDemuxer != nullptr)
        audioDemuxer->Seek(this, ms);
    // A demuxer's seek may rewind the stream, which starts both sides over too.
    videoDemuxDone = false;
    audioDemuxDone = false;
    PresetEndFlags();
    state = Playing;
    return true;
}

void dAV_Stream::Rewind()
{
    if (state == Closed)
        return;
    state = Playing;
    ResetSides();
    if (videoDecoder != nullptr)
        videoDecoder->Discard();
    if (videoDemuxer != nullptr)
        videoDemuxer->Rewind();
    if (audioDemuxer != nullptr)
        audioDemuxer->Rewind();
    if (audioDecoder != nullptr)
        audioDecoder->ResetTime();
}

void dAV_Stream::SetFramePeriod(int32_t rate)
{
    // 100000000 / rate must be a whole, positive number of ticks, or the
    // presentation loop would never catch up.
    if (rate <= 0 || rate > 100000000)
        return;
    framePeriod = 100000000 / rate;
    *GlobalLogStream << "Stream video frame period = " << framePeriod << "\n";
}

bool dAV_Stream::SelectVideoDecoder(int32_t codecId)
{
    if (codecId == videoCodecId)
        return videoDecoder != nullptr;
    delete videoDecoder;
    videoDecoder = nullptr;
    videoCodecId = 0;
    if (codecId == 2 || codecId == 3) {
        dAV_MPEGVideoDecoder* decoder = new (std::nothrow) dAV_MPEGVideoDecoder;
        if (decoder == nullptr || !decoder->Open()) {
            delete decoder;
            return false;
        }
        videoDecoder = decoder;
        videoCodecId = codecId;
        return true;
    }
    videoCodecId = codecId;
    return false;
}

bool dAV_Stream::SelectAudioDecoder(int32_t codecId)
{
    if (audioDriver == nullptr)
        return false;
    if (codecId == audioCodecId)
        return audioDecoder != nullptr;
    delete audioDecoder;
    audioDecoder = nullptr;
    audioCodecId = 0;
    if (codecId >= 2 && codecId <= 4) {
        dAV_MADDecoder* decoder = new (std::nothrow) dAV_MADDecoder;
        if (decoder == nullptr || !decoder->Init()) {
            delete decoder;
            return false;
        }
        audioDecoder = decoder;
        audioCodecId = codecId;
        return true;
    }
    audioCodecId = codecId;
    return false;
}

bool dAV_Stream::DecodeVideo(int32_t codecId, const uint8_t* begin, const uint8_t* end, int32_t timeStamp)
{
    if (!SelectVideoDecoder(codecId))
        return false;
    videoDecoder->Decode(this, begin, end, timeStamp);
    return true;
}

bool dAV_Stream::DecodeAudio(int32_t codecId, const uint8_t* begin, const uint8_t* end, int32_t timeStamp)
{
    if (!SelectAudioDecoder(codecId))
        return false;
    audioDecoder->Decode(this, begin, end, timeStamp);
    return true;
}

void dAV_Stream::WriteAudio(const dAV_AudioFormat& format, const void* data, uint32_t byteCount, int32_t timeStamp)
{
    audioFormat = format;
    if (audioDriver == nullptr || byteCount == 0)
        return;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (pendingAudio.empty()) {
        audioDriver->SetFormat(format);
        const uint32_t taken = std::min(audioDriver->Write(bytes, byteCount, timeStamp), byteCount);
        bytes += taken;
        byteCount -= taken;
        if (byteCount == 0)
            return;
    }
    if (pendingAudio.empty() || !(pendingAudio.back().format == format)) {
        pendingAudio.emplace_back();
        pendingAudio.back().format = format;
        pendingAudio.back().timeStamp = timeStamp;
    }
    std::vector<uint8_t>& queue = pendingAudio.back().bytes;
    queue.insert(queue.end(), bytes, bytes + byteCount);
}

bool dAV_Stream::FlushPendingAudio()
{
    while (!pendingAudio.empty()) {
        PendingAudio& chunk = pendingAudio.front();
        audioDriver->SetFormat(chunk.format);
        const uint32_t left = uint32_t(chunk.bytes.size() - chunk.offset);
        const uint32_t taken = std::min(audioDriver->Write(chunk.bytes.data() + chunk.offset, left, chunk.timeStamp), left);
        chunk.offset += taken;
        if (taken < left)
            return false;
        pendingAudio.pop_front();
    }
    return true;
}

uint32_t dAV_Stream::GetPendingAudioBytes() const
{
    uint32_t total = 0;
    for (const PendingAudio& chunk : pendingAudio)
        total += uint32_t(chunk.bytes.size() - chunk.offset);
    return total;
}
