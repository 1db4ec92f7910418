#pragma once

#include "core/render/zRenderer.h"
#include "core/sound/zMixer.h"
#include "core/sound/zMixerStreamInterface.h"
#include "core/zad/Tavrin.h"

#include <cstdint>
#include <string>
#include <vector>

// A tick source the tests advance by hand, and the frame-cycle globals put
// back to their start values around each test.
class FrameClockFixture {
public:
    FrameClockFixture()
    {
        ticks = 1000;
        ResetGlobals();
        previous = SetFrameClockSource(&FrameClockFixture::Read);
    }
    ~FrameClockFixture()
    {
        SetFrameClockSource(previous);
        ResetGlobals();
    }
    FrameClockFixture(const FrameClockFixture&) = delete;
    FrameClockFixture& operator=(const FrameClockFixture&) = delete;

    static uint32_t Read() { return ticks; }
    static void ResetGlobals()
    {
        GlobalDrawDepth = 0;
        GlobalClock = 0;
        GlobalFrameDelta = 0;
        GlobalRawFrameDelta = 0;
        GlobalClockLastTime = 0;
        GlobalClockScale = 1000;
        GlobalFixedFrameStep = -1;
        GlobalFixedFrameFrequency = -1;
        GlobalClockDrift = 0;
        GlobalEndOfFrameHook = nullptr;
    }

    static inline uint32_t ticks = 0;

private:
    zTimer::TickSource previous;
};

// A renderer that records what it is asked to do, in order.
class RecordingRenderer : public zRenderer {
public:
    struct Line {
        zVector from;
        zVector to;
        float colour[4];
    };

    RecordingRenderer(Tavrin* owner, bool makeCurrent, std::vector<std::string>* sharedLog = nullptr)
        : zRenderer(owner, makeCurrent), log(sharedLog != nullptr ? sharedLog : &calls)
    {
    }

    void Record(const char* call) { log->emplace_back(call); }
    int Count(const std::string& call) const
    {
        int n = 0;
        for (const std::string& c : *log)
            n += c == call ? 1 : 0;
        return n;
    }

    void BeginFrame() override { Record("BeginFrame"); }
    void EndFrame() override { Record("EndFrame"); }
    const char* GetName() override { return "Recording"; }
    const char* GetDescription() override { return "Recording"; }
    const char* GetVersion() override { return "1"; }
    bool OpenVideo(int32_t, int32_t, int32_t, bool) override { return true; }
    void CloseVideo() override {}
    bool ResizeOutput(int32_t, int32_t) override { return true; }
    void ReservedA(void*) override {}
    void UpdateClientSize() override {}
    zWindowHandle GetWindowHandle() override { return nullptr; }
    bool SetupAdditionalWindow(zWindowHandle, zRenderWindow*) override { return true; }
    void SetOutputWindow(zRenderWindow*) override {}
    void ReleaseAdditionalWindow(zRenderWindow*) override {}
    void RenderQueue() override { Record("RenderQueue"); }
    void Present() override { Record("Present"); }
    zShaderRecord* LoadShader(const char*, const char*, const char*) override { return nullptr; }
    void FreeShader(zShaderRecord*) override {}
    void Clear(float, float, float, float, uint32_t) override {}
    void CopyFramebufferToTexture(zTexture*) override {}
    void SetRenderTarget(zTexture*) override {}
    void Line3D(const zVector& from, const zVector& to, const float* colour) override
    {
        Line line{from, to, {0.0f, 0.0f, 0.0f, 0.0f}};
        for (int i = 0; i < 4 && colour != nullptr; ++i)
            line.colour[i] = colour[i];
        lines.push_back(line);
    }
    void DrawTriangle(const zVector*, const float*, const zVector2*, zTexture*, uint32_t) override {}
    void Write(zRasterFont*, const char*, float, float, float, bool, int32_t, const float*) override {}
    bool SetupGeometry(zGeometry*) override { return true; }
    void FreeGeometry(zGeometry*) override {}
    void UpdateGeometry(zGeometry*, int32_t, int32_t) override {}
    bool SetupTexture(zTexture*) override { return true; }
    bool LoadTextureContent(zTexture*, const char*) override { return false; }
    void FreeTexture(zTexture*) override {}
    void UpdateTexture(zTexture*, const uint8_t*, int32_t, int32_t, int32_t, int32_t) override {}
    bool SetupMaterial(zMaterial*) override { return true; }
    void FreeMaterial(zMaterial*) override {}
    void UpdateMaterial(zMaterial*) override {}
    bool SetupLight(zLight*) override { return true; }
    void FreeLight(zLight*) override {}
    void UpdateLight(zLight*) override {}
    void SetViewMatrix(const zMatrix4& m) override
    {
        Record("SetViewMatrix");
        viewMatrix = m;
    }
    void SetProjectionMatrix(const zMatrix4& m) override
    {
        Record("SetProjectionMatrix");
        projection = m;
    }
    void SetModelMatrix(const zMatrix4&, const void*) override {}
    void SetViewport(int32_t, int32_t, int32_t, int32_t) override {}

    std::vector<std::string> calls;
    std::vector<std::string>* log;
    std::vector<Line> lines;
    zMatrix4 viewMatrix;
    zMatrix4 projection;
};

// A mixer whose channel states the test sets, recording what it is asked to do.
class RecordingMixer : public zMixer {
public:
    RecordingMixer(Tavrin* owner, bool makeCurrent, std::vector<std::string>* sharedLog = nullptr)
        : zMixer(owner, makeCurrent), log(sharedLog != nullptr ? sharedLog : &calls)
    {
        for (int32_t& s : states)
            s = ChannelIdle;
    }

    void Record(const std::string& call) { log->push_back(call); }

    bool OpenAudio() override { return true; }
    void CloseAudio() override {}
    void SetListenerMatrix(const zVector*, const zVector*, const zMatrix3*) override {}
    bool StartChannel(int32_t channel, zSound*) override
    {
        Record("StartChannel " + std::to_string(channel));
        return startSucceeds;
    }
    void StopChannel(int32_t channel) override { Record("StopChannel " + std::to_string(channel)); }
    void PauseChannel(int32_t) override {}
    void ResumeChannel(int32_t) override {}
    int32_t GetChannelState(int32_t channel) override { return states[channel]; }
    bool SetupSound(zSound*) override { return true; }
    void FreeSound(zSound*) override {}
    void SetMasterGain(float gain) override
    {
        Record("SetMasterGain");
        masterGain = gain;
    }
    float GetMasterGain() override { return masterGain; }
    bool StreamStart(int32_t, const dAV_AudioFormat&) override { return true; }
    void StreamRefill(int32_t channel) override { Record("StreamRefill " + std::to_string(channel)); }
    void StreamStop(int32_t channel) override { Record("StreamStop " + std::to_string(channel)); }
    void SetChannelGain(int32_t channel, float gain) override
    {
        Record("SetChannelGain " + std::to_string(channel));
        zMixer::SetChannelGain(channel, gain);
    }
    void SetChannelPitch(int32_t channel, float pitch) override
    {
        Record("SetChannelPitch " + std::to_string(channel));
        zMixer::SetChannelPitch(channel, pitch);
    }
    void SetChannelPan(int32_t channel, float pan) override
    {
        Record("SetChannelPan " + std::to_string(channel));
        zMixer::SetChannelPan(channel, pan);
    }
    void SetChannelLoop(int32_t channel, int32_t loop) override
    {
        Record("SetChannelLoop " + std::to_string(channel));
        zMixer::SetChannelLoop(channel, loop);
    }

    std::vector<std::string> calls;
    std::vector<std::string>* log;
    int32_t states[ChannelCount];
    float masterGain = 0.75f;
    bool startSucceeds = true;
};

// A stream interface whose content stream the test plays, stops and watches.
class FakeStreamInterface : public zMixerStreamInterface {
public:
    FakeStreamInterface(zMixer* owner, int32_t channel, int* deletions)
        : zMixerStreamInterface(owner, channel), deleted(deletions)
    {
    }
    ~FakeStreamInterface() override
    {
        if (deleted != nullptr)
            ++*deleted;
    }

    int32_t GetContentState() override { return contentState; }
    bool SeekContent(int32_t milliseconds) override
    {
        seeks.push_back(milliseconds);
        contentState = 1;
        return true;
    }

    int32_t contentState = 1;
    std::vector<int32_t> seeks;
    int* deleted;
};
