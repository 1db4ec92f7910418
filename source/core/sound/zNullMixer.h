#pragma once

#include "core/sound/zMixer.h"

// The core's default mixer: plays nothing, reports every channel idle and
// every start a success.
class zNullMixer : public zMixer {
public:
    zNullMixer(Tavrin* owner, bool makeCurrent) : zMixer(owner, makeCurrent) {}

    bool OpenAudio() override
    {
        audioOpen = 1;
        return true;
    }
    void CloseAudio() override { audioOpen = 0; }
    void SetListenerMatrix(const zVector*, const zVector*, const zMatrix3*) override {}
    bool StartChannel(int32_t, zSound*) override { return true; }
    void StopChannel(int32_t) override {}
    void PauseChannel(int32_t) override {}
    void ResumeChannel(int32_t) override {}
    int32_t GetChannelState(int32_t) override { return ChannelIdle; }
    bool SetupSound(zSound*) override { return true; }
    void FreeSound(zSound*) override {}
    void SetMasterGain(float) override {}
    float GetMasterGain() override { return 0.0f; }
    bool StreamStart(int32_t, const dAV_AudioFormat&) override { return true; }
    void StreamRefill(int32_t) override {}
    void StreamStop(int32_t) override {}
};
