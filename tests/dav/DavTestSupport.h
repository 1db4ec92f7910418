#pragma once

#include "dav/core/dAV_Stream.h"
#include "dav/decoder/dAV_FrameConvert.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// Test drivers and helpers shared by the media tests.

inline std::string MediaPath(const char* name)
{
    return std::string(TAVRIN_TEST_DATA) + "/media/" + name;
}

// Keeps every byte written; can take only part of each write and report full
// at a threshold of held bytes, which Drain releases like a consumer would.
class RecordingAudioDriver : public dAV_AudioDriver {
public:
    bool Start() override { return true; }
    void Stop() override {}
    bool SetFormat(const dAV_AudioFormat& format) override
    {
        if (formats.empty() || !(formats.back() == format))
            formats.push_back(format);
        current = format;
        ++setFormatCalls;
        return true;
    }
    uint32_t Write(const void* data, uint32_t byteCount, int32_t timeStamp) override
    {
        uint32_t taken = byteCount;
        if (maxTakePerWrite != 0 && taken > maxTakePerWrite)
            taken = maxTakePerWrite;
        if (capacity != 0)
            taken = held >= capacity ? 0 : (taken < capacity - held ? taken : capacity - held);
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        pcm.insert(pcm.end(), bytes, bytes + taken);
        held += taken;
        if (taken > 0)
            stamps.push_back(timeStamp);
        return taken;
    }
    bool IsBufferFull() override { return fullAt != 0 && held >= fullAt; }
    bool IsBufferNotFull() override { return !IsBufferFull(); }
    void EndOfStream() override
    {
        dAV_AudioDriver::EndOfStream();
        ++endOfStreamCalls;
    }
    bool FillDone() override
    {
        ++fillDoneCalls;
        return true;
    }
    bool SupportsGapless() override { return gapless; }

    void Drain() { held = 0; }
    // Sample frames of the PCM kept, in the current format.
    size_t Frames() const { return pcm.size() / size_t(current.GetFrameBytes()); }

    std::vector<uint8_t> pcm;
    std::vector<dAV_AudioFormat> formats;
    std::vector<int32_t> stamps;
    dAV_AudioFormat current;
    uint32_t maxTakePerWrite = 0; // 0: everything
    uint32_t capacity = 0;        // 0: unlimited
    uint32_t fullAt = 0;          // 0: never full
    uint32_t held = 0;
    int setFormatCalls = 0;
    int endOfStreamCalls = 0;
    int fillDoneCalls = 0;
    bool gapless = false;
};

// Converts each frame as a texture stream would and keeps the first one.
class RecordingVideoDriver : public dAV_Driver {
public:
    bool IsBusy() override { return false; }
    void BeginUpdate() override {}
    void EndUpdate() override {}
    bool IsValid() override { return true; }
    void Flush() override {}
    bool SetFormat(const dAV_FrameFormat& format) override
    {
        formats.push_back(format);
        frameKind = format.kind;
        frameWidth = format.width;
        frameHeight = format.height;
        return true;
    }
    bool WriteFrame(uint8_t* const planes[3], int32_t timeStamp) override
    {
        ++framesWritten;
        stamps.push_back(timeStamp);
        if (frameKind == dAV_FrameFormat::YUV420 && frameWidth > 0 && frameHeight > 0) {
            std::vector<uint8_t> picture(size_t(frameWidth) * frameHeight * 4);
            ConvertYUV420ToRGB32(planes[0], planes[1], planes[2], picture.data(), frameWidth, frameHeight);
            if (firstFrame.empty())
                firstFrame = picture;
        }
        frameWaiting = true;
        return true;
    }
    bool HasFrame() override { return frameWaiting; }
    bool NoFrame() override { return !frameWaiting; }
    bool PresentFrame() override
    {
        ++presents;
        if (frameWaiting)
            ++framesPresented;
        frameWaiting = false;
        return true;
    }
    bool IsReady() override { return true; }
    bool SupportsGapless() override { return gapless; }
    void ClearFrame() override
    {
        dAV_Driver::ClearFrame();
        ++clearFrameCalls;
    }

    std::vector<dAV_FrameFormat> formats;
    std::vector<int32_t> stamps;
    std::vector<uint8_t> firstFrame;
    int framesWritten = 0;
    int framesPresented = 0;
    int presents = 0;
    int clearFrameCalls = 0;
    bool gapless = false;
};

// Pumps a stream until it finishes, draining the audio driver after each step;
// false if it has not finished after the given number of updates.
inline bool PlayToEnd(dAV_Stream& stream, RecordingAudioDriver* audio, int maxUpdates = 100000)
{
    for (int i = 0; i < maxUpdates; ++i) {
        if (stream.GetState() != dAV_Stream::Playing)
            return stream.GetState() == dAV_Stream::Finished;
        stream.Update(400);
        if (audio != nullptr)
            audio->Drain();
    }
    return false;
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        uint8_t chunk[4096];
        size_t count;
        while ((count = std::fread(chunk, 1, sizeof(chunk), file)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + count);
        std::fclose(file);
    }
    return bytes;
}
