// Channel numbers outside 0..63 never reach the mixer, whatever the function.
local mixer = EngineGetMixer(TestEngine());
local sound = TestSound("s", 48000, 10);
local functions = [
    ["MixerChannelStart", @(c) MixerChannelStart(mixer, c, sound)],
    ["MixerChannelStartStream", @(c) MixerChannelStartStream(mixer, c, "x.ogg")],
    ["MixerChannelTryLock", @(c) MixerChannelTryLock(mixer, c)],
    ["MixerChannelLockAndStream", @(c) MixerChannelLockAndStream(mixer, c, "x.ogg")],
    ["MixerChannelUnlock", @(c) MixerChannelUnlock(mixer, c)],
    ["MixerChannelGetState", @(c) MixerChannelGetState(mixer, c)],
    ["MixerChannelGetSound", @(c) ObjectIsValid(MixerChannelGetSound(mixer, c))],
    ["MixerChannelStop", @(c) MixerChannelStop(mixer, c)],
    ["MixerChannelPause", @(c) MixerChannelPause(mixer, c)],
    ["MixerChannelResume", @(c) MixerChannelResume(mixer, c)],
    ["MixerChannelSetGain", @(c) MixerChannelSetGain(mixer, c, 0.5)],
    ["MixerChannelSetPitch", @(c) MixerChannelSetPitch(mixer, c, 0.5)],
    ["MixerChannelSetLoopMode", @(c) MixerChannelSetLoopMode(mixer, c, 1)],
    ["MixerChannelSetLoopPosition", @(c) MixerChannelSetLoopPosition(mixer, c, 10)],
];
foreach (f in functions) {
    local results = "";
    local call = f[1];
    foreach (channel in [-1, -2, 64, 2147483647]) {
        local result = call(channel);
        results += " " + (result == null ? "-" : result);
    }
    print(f[0] + ":" + results);
}
