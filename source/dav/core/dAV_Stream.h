#pragma once

#include "dav/core/dAV_Decoder.h"
#include "dav/core/dAV_Demuxer.h"
#include "dav/core/dAV_Driver.h"
#include "framework/filesystem/zStream.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

// Plays one media file (MPEG program stream, elementary MPEG audio or Ogg
// Vorbis) into a video driver and an audio driver, either of which may be
// missing. The owner pumps it with elapsed time in ticks of 0.1 ms. Not locked:
// callers on several threads serialise every call themselves.
class dAV_Stream {
public:
    static constexpr uint32_t AudioEnded = 1;
    static constexpr uint32_t VideoEnded = 2;

    static constexpr int32_t Closed = 0;
    static constexpr int32_t Playing = 1;
    static constexpr int32_t Finished = 2;

    // The drivers stay their owner's and must outlive the stream; either may
    // be null.
    dAV_Stream(dAV_Driver* videoDriver, dAV_AudioDriver* audioDriver);
    virtual ~dAV_Stream();
    dAV_Stream(const dAV_Stream&) = delete;
    dAV_Stream& operator=(const dAV_Stream&) = delete;

    virtual bool SelectVideoDecoder(int32_t codecId);
    virtual bool SelectAudioDecoder(int32_t codecId);

    // Closes, then opens the file once per driver present and picks a demuxer
    // for each by probing. False (with the stream closed) when the file cannot
    // be opened or no demuxer takes it.
    bool Open(const char* path, bool scan = false);
    void Close();
    // False for an elapsed time of 0 or less.
    bool Update(int32_t elapsed);
    // To the time in milliseconds; false on a closed stream, else playing.
    bool Seek(int32_t ms);
    void Rewind();
    // Rate in frames per second x 10000; rates that give no whole tick are ignored.
    void SetFramePeriod(int32_t rate);
    void Prefill(bool video, bool audio);

    // Demuxers deliver their packets here; false when no decoder takes the codec.
    bool DecodeVideo(int32_t codecId, const uint8_t* begin, const uint8_t* end, int32_t timeStamp);
    bool DecodeAudio(int32_t codecId, const uint8_t* begin, const uint8_t* end, int32_t timeStamp);
    // A new demuxer (the caller deletes it) that accepts the reader's file,
    // tried in the order program stream, MPEG audio, Ogg Vorbis; null with an
    // error line when none does.
    dAV_Demuxer* SelectDemuxer(zStream* reader);

    // The stream's audio format: rate and channel count of the PCM it produces,
    // reported by the container where it knows them (Ogg, MPEG audio headers)
    // and by every block written. Rate 0 until known.
    const dAV_AudioFormat& GetAudioFormat() const { return audioFormat; }
    void SetAudioFormat(const dAV_AudioFormat& format) { audioFormat = format; }
    // Decoders and the Ogg demuxer write PCM through here: the format goes to the
    // driver before each block, and what the driver cannot take yet is kept and
    // offered again before anything new is demuxed.
    void WriteAudio(const dAV_AudioFormat& format, const void* data, uint32_t byteCount, int32_t timeStamp);
    uint32_t GetPendingAudioBytes() const;

    int32_t GetState() const { return state; }
    uint32_t GetEndFlags() const { return endFlags; }
    int32_t GetFramePeriod() const { return framePeriod; }
    int32_t GetVideoClock() const { return videoClock; }
    dAV_Driver* GetVideoDriver() const { return videoDriver; }
    dAV_AudioDriver* GetAudioDriver() const { return audioDriver; }
    dAV_VideoDecoder* GetVideoDecoder() const { return videoDecoder; }
    dAV_AudioDecoder* GetAudioDecoder() const { return audioDecoder; }
    dAV_Demuxer* GetVideoDemuxer() const { return videoDemuxer; }
    dAV_Demuxer* GetAudioDemuxer() const { return audioDemuxer; }
    int32_t GetVideoCodecId() const { return videoCodecId; }
    int32_t GetAudioCodecId() const { return audioCodecId; }

    bool gapless = false;     // ask the drivers for gapless continuation on close
    bool videoPaused = false; // no video is presented while set
    float floatParameter = 1.6f;
    float duration = 0.0f;    // seconds, set by a scanning program-stream initialisation

protected:
    struct PendingAudio {
        dAV_AudioFormat format;
        int32_t timeStamp = 0;
        std::vector<uint8_t> bytes;
        size_t offset = 0;
    };

    // Derived streams that select their own decoders store them here.
    dAV_VideoDecoder*& VideoDecoderSlot() { return videoDecoder; }
    dAV_AudioDecoder*& AudioDecoderSlot() { return audioDecoder; }
    int32_t& VideoCodecSlot() { return videoCodecId; }
    int32_t& AudioCodecSlot() { return audioCodecId; }

private:
    void PresetEndFlags();
    void FillVideo();
    void FillAudio();
    void CheckFinished();
    // True when everything pending reached the driver.
    bool FlushPendingAudio();
    // Frees decoders, demuxers and pending audio and closes the readers.
    void Release();
    void ResetSides();

    uint32_t endFlags = 0;
    zStream videoReader{1};
    zStream audioReader{1};
    int32_t state = Closed;
    int32_t videoClock = 0;
    dAV_Demuxer* videoDemuxer = nullptr;
    dAV_Demuxer* audioDemuxer = nullptr;
    dAV_VideoDecoder* videoDecoder = nullptr;
    dAV_Driver* videoDriver;
    dAV_AudioDecoder* audioDecoder = nullptr;
    dAV_AudioDriver* audioDriver;
    int32_t audioCodecId = 0;
    int32_t videoCodecId = 0;
    int32_t framePeriod = 400;

    dAV_AudioFormat audioFormat;
    std::deque<PendingAudio> pendingAudio;
    // The demuxer of a side has reported its end; the side ends once its
    // decoder is drained and the pending audio delivered.
    bool videoDemuxDone = false;
    bool audioDemuxDone = false;
};
