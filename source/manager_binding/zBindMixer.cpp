// Mixer family: sounds and streams on the 64 channels of the core's current
// mixer. A null mixer does nothing; every channel argument outside 0..63 is
// refused before it reaches the mixer.
#include "core/sound/zMixer.h"
#include "core/sound/zSound.h"
#include "core/zad/Tavrin.h"
#include "manager_binding/SqBinding.h"
#include "manager_binding/zBindFamilies.h"

#include <type_traits>

namespace {

// The mixer operations the generic natives below call.
void DoUnlockChannel(zMixer* m, int32_t c) { m->UnlockChannel(c); }
void DoStopChannel(zMixer* m, int32_t c) { m->StopChannel(c); }
void DoPauseChannel(zMixer* m, int32_t c) { m->PauseChannel(c); }
void DoResumeChannel(zMixer* m, int32_t c) { m->ResumeChannel(c); }
void DoSetChannelGain(zMixer* m, int32_t c, float x) { m->SetChannelGain(c, x); }
void DoSetChannelPitch(zMixer* m, int32_t c, float x) { m->SetChannelPitch(c, x); }
void DoSetChannelLoop(zMixer* m, int32_t c, int32_t x) { m->SetChannelLoop(c, x); }
void DoSetChannelLoopPoint(zMixer* m, int32_t c, int32_t x) { m->SetChannelLoopPoint(c, x); }
void DoUnlockAllChannels(zMixer* m) { m->UnlockAllChannels(); }
void DoStopAllChannels(zMixer* m) { m->StopAllChannels(); }
void DoMute(zMixer* m) { m->Mute(); }
void DoUnmute(zMixer* m) { m->Unmute(); }
void DoUpdate(zMixer* m) { m->Update(); }

bool GetMixer(HSQUIRRELVM v, zMixer*& mixer)
{
    return SqGetSafePtr(v, 2, &mixer, SqPtrMixer);
}

// The channel at idx when it is one of the 64; -1 (MixerChannelInvalid)
// quietly, any other number with an error naming the function.
bool GetChannel(HSQUIRRELVM v, SQInteger idx, const char* function, int32_t& channel)
{
    SQInteger value = -1;
    sq_getinteger(v, idx, &value);
    channel = int32_t(value);
    return channel != -1 && zMixer::IsValidChannel(channel, function);
}

const char* GetString(HSQUIRRELVM v, SQInteger idx)
{
    const SQChar* text = nullptr;
    sq_getstring(v, idx, &text);
    return text;
}

SQInteger EngineGetMixer(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!SqGetSafePtr(v, 2, &core, SqPtrEngine))
        return sq_suspendvm(v);
    SqPushSafePtr(v, core != nullptr ? core->mixer : nullptr, SqPtrMixer);
    return 1;
}

SQInteger MixerSoundStart(HSQUIRRELVM v)
{
    zMixer* mixer = nullptr;
    zSound* sound = nullptr;
    if (!GetMixer(v, mixer) || !SqGetSafePtr(v, 3, &sound, SqPtrSound))
        return sq_suspendvm(v);
    sq_pushinteger(v, mixer != nullptr ? mixer->StartSound(sound) : -1);
    return 1;
}

SQInteger MixerStreamStart(HSQUIRRELVM v)
{
    zMixer* mixer = nullptr;
    if (!GetMixer(v, mixer))
        return sq_suspendvm(v);
    const char* path = GetString(v, 3);
    sq_pushinteger(v, mixer != nullptr && path != nullptr ? mixer->StartStream(path) : -1);
    return 1;
}

SQInteger MixerChannelStart(HSQUIRRELVM v)
{
    zMixer* mixer = nullptr;
    zSound* sound = nullptr;
    if (!GetMixer(v, mixer) || !SqGetSafePtr(v, 4, &sound, SqPtrSound))
        return sq_suspendvm(v);
    int32_t channel = -1;
    const bool valid = mixer != nullptr && GetChannel(v, 3, "MixerChannelStart", channel);
    sq_pushbool(v, valid && mixer->StartChannel(channel, sound));
    return 1;
}

SQInteger MixerChannelStartStream(HSQUIRRELVM v)
{
    zMixer* mixer = nullptr;
    if (!GetMixer(v, mixer))
        return sq_suspendvm(v);
    int32_t channel = -1;
    const char* path = GetString(v, 4);
    const bool valid = mixer != nullptr && path != nullptr && GetChannel(v, 3, "MixerChannelStartStream", channel);
    sq_pushbool(v, valid && mixer->StartChannelStream(channel, path));
    return 1;
}

SQInteger MixerChannelLock(HSQUIRRELVM v)
{
    zMixer* mixer = nullptr;
    if (!GetMixer(v, mixer))
        return sq_suspendvm(v);
    sq_pushinteger(v, mixer != nullptr ? mixer->LockFreeChannel() : -1);
    return 1;
}

SQInteger MixerChannelTryLock(HSQUIRRELVM v)
{
    zMixer* mixer = nullptr;
    if (!GetMixer(v, mixer))
        return sq_suspendvm(v);
    int32_t channel = -1;
    const bool valid = mixer != nullptr && GetChannel(v, 3, "MixerChannelTryLock", channel);
    sq_pushbool(v, valid && mixer->TryLockChannel(channel));
    return 1;
}

SQInteger MixerChannelLockAndStream(HSQUIRRELVM v)
{
    zMixer* mixer = nullptr;
    if (!GetMixer(v, mixer))
        return sq_suspendvm(v);
    int32_t channel = -1;
    const char* path = GetString(v, 4);
    const bool valid = mixer != nullptr && path != nullptr && GetChannel(v, 3, "MixerChannelLockAndStream", channel);
    // A failed stream start leaves the channel locked.
    sq_pushbool(v, valid && mixer->TryLockChannel(channel) && mixer->StartChannelStream(channel, path));
    return 1;
}

// The operations on one channel that return nothing.
template <void (*Operation)(zMixer*, int32_t)>
SQInteger ChannelOperation(HSQUIRRELVM v, const char* function)
{
    zMixer* mixer = nullptr;
    if (!GetMixer(v, mixer))
        return sq_suspendvm(v);
    int32_t channel = -1;
    if (mixer != nullptr && GetChannel(v, 3, function, channel))
        Operation(mixer, channel);
    return 0;
}

SQInteger MixerChannelUnlock(HSQUIRRELVM v)
{
    return ChannelOperation<DoUnlockChannel>(v, "MixerChannelUnlock");
}

SQInteger MixerChannelStop(HSQUIRRELVM v)
{
    return ChannelOperation<DoStopChannel>(v, "MixerChannelStop");
}

SQInteger MixerChannelPause(HSQUIRRELVM v)
{
    return ChannelOperation<DoPauseChannel>(v, "MixerChannelPause");
}

SQInteger MixerChannelResume(HSQUIRRELVM v)
{
    return ChannelOperation<DoResumeChannel>(v, "MixerChannelResume");
}

// The operations on the whole mixer.
template <void (*Operation)(zMixer*)>
SQInteger MixerOperation(HSQUIRRELVM v)
{
    zMixer* mixer = nullptr;
    if (!GetMixer(v, mixer))
        return sq_suspendvm(v);
    if (mixer != nullptr)
        Operation(mixer);
    return 0;
}

SQInteger MixerChannelGetState(HSQUIRRELVM v)
{
    zMixer* mixer = nullptr;
    if (!GetMixer(v, mixer))
        return sq_suspendvm(v);
    int32_t channel = -1;
    const bool valid = mixer != nullptr && GetChannel(v, 3, "MixerChannelGetState", channel);
    sq_pushinteger(v, valid ? mixer->GetChannelState(channel) : 0);
    return 1;
}

SQInteger MixerChannelGetSound(HSQUIRRELVM v)
{
    zMixer* mixer = nullptr;
    if (!GetMixer(v, mixer))
        return sq_suspendvm(v);
    int32_t channel = -1;
    const bool valid = mixer != nullptr && GetChannel(v, 3, "MixerChannelGetSound", channel);
    SqPushSafePtr(v, valid ? mixer->GetChannelSound(channel) : nullptr, SqPtrSound);
    return 1;
}

// The four channel setters: a null mixer or a channel of -1 does nothing.
template <class T, void (*Operation)(zMixer*, int32_t, T)>
SQInteger ChannelSetter(HSQUIRRELVM v, const char* function)
{
    zMixer* mixer = nullptr;
    if (!GetMixer(v, mixer))
        return sq_suspendvm(v);
    T value{};
    if constexpr (std::is_same_v<T, float>) {
        SQFloat number = 0.0f;
        sq_getfloat(v, 4, &number);
        value = number;
    } else {
        SQInteger number = 0;
        sq_getinteger(v, 4, &number);
        value = int32_t(number);
    }
    int32_t channel = -1;
    if (mixer != nullptr && GetChannel(v, 3, function, channel))
        Operation(mixer, channel, value);
    return 0;
}

SQInteger MixerChannelSetGain(HSQUIRRELVM v)
{
    return ChannelSetter<float, DoSetChannelGain>(v, "MixerChannelSetGain");
}

SQInteger MixerChannelSetPitch(HSQUIRRELVM v)
{
    return ChannelSetter<float, DoSetChannelPitch>(v, "MixerChannelSetPitch");
}

SQInteger MixerChannelSetLoopMode(HSQUIRRELVM v)
{
    return ChannelSetter<int32_t, DoSetChannelLoop>(v, "MixerChannelSetLoopMode");
}

SQInteger MixerChannelSetLoopPosition(HSQUIRRELVM v)
{
    return ChannelSetter<int32_t, DoSetChannelLoopPoint>(v, "MixerChannelSetLoopPosition");
}

SQInteger MixerSetGain(HSQUIRRELVM v)
{
    zMixer* mixer = nullptr;
    if (!GetMixer(v, mixer))
        return sq_suspendvm(v);
    SQFloat gain = 0.0f;
    sq_getfloat(v, 3, &gain);
    if (mixer != nullptr)
        mixer->SetMasterGain(gain);
    return 0;
}

} // namespace

void SqRegisterMixerFunctions(HSQUIRRELVM v)
{
    const SqFunctionDesc functions[] = {
        {"EngineGetMixer", EngineGetMixer, 0, "x|tu"},
        {"MixerSoundStart", MixerSoundStart, 0, "x|tuu"},
        {"MixerStreamStart", MixerStreamStart, 0, "x|tus"},
        {"MixerChannelStart", MixerChannelStart, 0, "x|tuiu"},
        {"MixerChannelStartStream", MixerChannelStartStream, 0, "x|tuis"},
        {"MixerChannelLock", MixerChannelLock, 0, "x|tu"},
        {"MixerChannelTryLock", MixerChannelTryLock, 0, "x|tui"},
        {"MixerChannelLockAndStream", MixerChannelLockAndStream, 0, "x|tuis"},
        {"MixerChannelUnlock", MixerChannelUnlock, 0, "x|tui"},
        {"MixerChannelUnlockAll", MixerOperation<DoUnlockAllChannels>, 0, "x|tu"},
        {"MixerChannelGetState", MixerChannelGetState, 0, "x|tui"},
        {"MixerChannelGetSound", MixerChannelGetSound, 0, "x|tui"},
        {"MixerChannelStop", MixerChannelStop, 0, "x|tui"},
        {"MixerChannelPause", MixerChannelPause, 0, "x|tui"},
        {"MixerChannelResume", MixerChannelResume, 0, "x|tui"},
        {"MixerChannelStopAll", MixerOperation<DoStopAllChannels>, 0, "x|tu"},
        {"MixerChannelSetGain", MixerChannelSetGain, 0, "x|tuif"},
        {"MixerChannelSetPitch", MixerChannelSetPitch, 0, "x|tuif"},
        {"MixerChannelSetLoopMode", MixerChannelSetLoopMode, 0, "x|tuii"},
        {"MixerChannelSetLoopPosition", MixerChannelSetLoopPosition, 0, "x|tuii"},
        {"MixerSetGain", MixerSetGain, 0, "x|tuf"},
        {"MixerMute", MixerOperation<DoMute>, 0, "x|tu"},
        {"MixerUnmute", MixerOperation<DoUnmute>, 0, "x|tu"},
        {"MixerUpdate", MixerOperation<DoUpdate>, 0, "x|tu"},
    };
    for (const SqFunctionDesc& f : functions)
        SqRegisterFunction(v, f.function, f.name, f.typeMask);

    const struct {
        const char* name;
        SQInteger value;
    } constants[] = {
        {"LoopNone", 0},          {"LoopRepeat", 1},          {"ChannelStateInvalid", 0},
        {"ChannelStateStopped", 1}, {"ChannelStatePlaying", 2}, {"ChannelStatePaused", 3},
        {"MixerChannelInvalid", -1}, {"MixerMaxChannel", 64},
    };
    for (const auto& c : constants)
        SqSetRootInteger(v, c.name, c.value);
}
