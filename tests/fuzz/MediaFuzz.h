#pragma once

#include "dav/core/dAV_Stream.h"
#include "dav/decoder/dAV_FrameConvert.h"
#include "InputFS.h"
#include "framework/filesystem/zStream.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// Shared by the media fuzz targets: the input served as the file "input", and
// output drivers that take part of what they are given, as a full device would.
namespace media_fuzz {

using fuzz_support::InputFS;
using fuzz_support::Silent;

class VideoDriver : public dAV_Driver {
public:
    static constexpr uint64_t ConvertedFrames = 4;
    // Below the size the conversion spreads over threads.
    static constexpr int64_t ConvertedPixels = 256 * 128;

    bool IsBusy() override { return false; }
    void BeginUpdate() override {}
    void EndUpdate() override {}
    bool IsValid() override { return true; }
    void Flush() override {}
    bool SetFormat(const dAV_FrameFormat& format) override
    {
        frameKind = format.kind;
        frameWidth = format.width;
        frameHeight = format.height;
        // Large pictures are decoded but not converted: the instrumented
        // conversion costs the same for every pixel and would take most of
        // the fuzzer's time.
        if (int64_t(frameWidth) * frameHeight <= ConvertedPixels)
            picture.resize(size_t(frameWidth) * size_t(frameHeight) * 4);
        else
            picture.clear();
        return true;
    }
    bool WriteFrame(uint8_t* const planes[3], int32_t) override
    {
        // The picture is converted only when it matches the announced size,
        // and only the first few of an input: the conversion is the same for
        // every frame and would take most of the fuzzer's time.
        if (frameKind == dAV_FrameFormat::YUV420 && picture.size() == size_t(frameWidth) * size_t(frameHeight) * 4
            && framesWritten < ConvertedFrames)
            ConvertYUV420ToRGB32(planes[0], planes[1], planes[2], picture.data(), frameWidth, frameHeight);
        frameWaiting = true;
        ++framesWritten;
        return true;
    }
    bool HasFrame() override { return frameWaiting; }
    bool NoFrame() override { return !frameWaiting; }
    bool PresentFrame() override
    {
        frameWaiting = false;
        return true;
    }
    bool IsReady() override { return true; }

    std::vector<uint8_t> picture;
    uint64_t framesWritten = 0;
};

class AudioDriver : public dAV_AudioDriver {
public:
    bool Start() override { return true; }
    void Stop() override {}
    bool SetFormat(const dAV_AudioFormat&) override { return true; }
    uint32_t Write(const void*, uint32_t byteCount, int32_t) override
    {
        const uint32_t room = held >= 8192 ? 0 : 8192 - held;
        const uint32_t taken = byteCount < room ? byteCount : room;
        held += taken;
        bytesTaken += taken;
        return taken;
    }
    bool IsBufferFull() override { return held >= 4096; }
    bool IsBufferNotFull() override { return !IsBufferFull(); }
    bool FillDone() override
    {
        held = held > 3000 ? held - 3000 : 0;
        return true;
    }

    uint32_t held = 0;
    uint64_t bytesTaken = 0;
};

// Updates of 40 ms without a frame or a sample before the playing stops: an
// input can keep a stream playing with nothing left to decode, and stepping
// it on would only spend the fuzzer's time.
constexpr int IdleUpdates = 50;

// Opens the input as a stream with both drivers and plays, seeks and rewinds it.
inline void PlayInput(const uint8_t* data, size_t size)
{
    static Silent silent;
    zLogSink* previousSink = GlobalLog.SetSink(&silent);

    InputFS input(data, size);
    zIOBaseFS* previous = zStream::GetCurrentFS();
    zStream::SetCurrentFS(&input);
    VideoDriver video;
    AudioDriver audio;
    {
        dAV_Stream stream(&video, &audio);
        if (stream.Open("input", (size & 1) != 0)) {
            auto play = [&](int updates) {
                int idle = 0;
                for (int i = 0; i < updates && idle < IdleUpdates && stream.GetState() == dAV_Stream::Playing; ++i) {
                    const uint64_t before = video.framesWritten + audio.bytesTaken;
                    stream.Update(400);
                    idle = video.framesWritten + audio.bytesTaken == before ? idle + 1 : 0;
                }
            };
            play(2000);
            stream.Seek(int32_t(size % 1500));
            play(200);
            stream.Rewind();
            play(200);
            stream.Close();
        }
    }
    zStream::SetCurrentFS(previous);
    GlobalLog.SetSink(previousSink);
}

} // namespace media_fuzz
