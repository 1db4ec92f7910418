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

// A packet as a demuxer delivered it.
struct CapturedPacket {
    bool video = false;
    int32_t codecId = 0;
    std::vector<uint8_t> bytes;
    int32_t timeStamp = 0;
};

class CaptureVideoDecoder : public dAV_VideoDecoder {
public:
    CaptureVideoDecoder(std::vector<CapturedPacket>* packets, int32_t codecId) : packets(packets), codecId(codecId) {}
    bool Open() override { return true; }
    void Close() override {}
    void Decode(dAV_Stream*, const uint8_t* begin, const uint8_t* end, int32_t timeStamp) override
    {
        packets->push_back({true, codecId, std::vector<uint8_t>(begin, end), timeStamp});
    }

private:
    std::vector<CapturedPacket>* packets;
    int32_t codecId;
};

class CaptureAudioDecoder : public dAV_AudioDecoder {
public:
    CaptureAudioDecoder(std::vector<CapturedPacket>* packets, int32_t codecId) : packets(packets), codecId(codecId) {}
    void ResetTime() override {}
    int32_t Seek(const uint8_t*, const uint8_t*, int32_t) override { return 0; }
    int32_t GetTime() override { return 0; }
    bool Init() override { return true; }
    void Close() override {}
    void Decode(dAV_Stream*, const uint8_t* begin, const uint8_t* end, int32_t timeStamp) override
    {
        packets->push_back({false, codecId, std::vector<uint8_t>(begin, end), timeStamp});
    }

private:
    std::vector<CapturedPacket>* packets;
    int32_t codecId;
};

// A stream whose decoders record the packets instead of decoding them.
class CaptureStream : public dAV_Stream {
public:
    CaptureStream() : dAV_Stream(nullptr, nullptr) {}

    bool SelectVideoDecoder(int32_t codecId) override
    {
        if (VideoCodecSlot() == codecId && VideoDecoderSlot() != nullptr)
            return true;
        delete VideoDecoderSlot();
        VideoDecoderSlot() = new CaptureVideoDecoder(&packets, codecId);
        VideoCodecSlot() = codecId;
        return true;
    }
    bool SelectAudioDecoder(int32_t codecId) override
    {
        if (AudioCodecSlot() == codecId && AudioDecoderSlot() != nullptr)
            return true;
        delete AudioDecoderSlot();
        AudioDecoderSlot() = new CaptureAudioDecoder(&packets, codecId);
        AudioCodecSlot() = codecId;
        return true;
    }

    // Every byte of one kind in delivery order, with the time stamp it came with.
    std::vector<std::pair<uint8_t, int32_t>> Bytes(bool video) const
    {
        std::vector<std::pair<uint8_t, int32_t>> bytes;
        for (const CapturedPacket& packet : packets) {
            if (packet.video == video) {
                for (uint8_t byte : packet.bytes)
                    bytes.emplace_back(byte, packet.timeStamp);
            }
        }
        return bytes;
    }

    std::vector<CapturedPacket> packets;
};
