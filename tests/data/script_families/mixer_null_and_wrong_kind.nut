// A null mixer does nothing and gives the defaults; a handle of another kind
// suspends the VM.
local none = TestNullHandle(EngineTypeMixer);
local sound = TestSound("s", 48000, 10);
local rows = [
    ["EngineGetMixer of a null engine", @() ObjectIsValid(EngineGetMixer(TestNullHandle(EngineTypeEngine)))],
    ["MixerSoundStart", @() MixerSoundStart(none, sound)],
    ["MixerStreamStart", @() MixerStreamStart(none, "x.ogg")],
    ["MixerChannelStart", @() MixerChannelStart(none, 0, sound)],
    ["MixerChannelStartStream", @() MixerChannelStartStream(none, 0, "x.ogg")],
    ["MixerChannelLock", @() MixerChannelLock(none)],
    ["MixerChannelTryLock", @() MixerChannelTryLock(none, 0)],
    ["MixerChannelLockAndStream", @() MixerChannelLockAndStream(none, 0, "x.ogg")],
    ["MixerChannelGetState", @() MixerChannelGetState(none, 0)],
    ["MixerChannelGetSound", @() ObjectIsValid(MixerChannelGetSound(none, 0))],
    ["MixerChannelSetGain", @() MixerChannelSetGain(none, 0, 0.5)],
    ["MixerChannelSetPitch", @() MixerChannelSetPitch(none, 0, 0.5)],
    ["MixerChannelSetLoopMode", @() MixerChannelSetLoopMode(none, 0, 1)],
    ["MixerChannelSetLoopPosition", @() MixerChannelSetLoopPosition(none, 0, 1)],
    ["MixerSetGain", @() MixerSetGain(none, 0.5)],
    ["MixerMute", @() MixerMute(none)],
    ["MixerUpdate", @() MixerUpdate(none)],
];
foreach (row in rows) {
    local call = row[1];
    local result = call();
    print(row[0] + ": " + (result == null ? "-" : result));
}
print("a sound handle where the mixer goes");
MixerChannelStop(sound, 0);
print("not reached");
