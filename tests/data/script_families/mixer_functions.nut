// The mixer family against a mixer that logs what it is asked: results and
// calls, one table row each.
local engine = TestEngine();
local mixer = EngineGetMixer(engine);
local boom = TestSound("boom", 48000, 100);
local hiss = TestSound("hiss", 48000, 100);
local rows = [
    ["state of an idle channel", @() MixerChannelGetState(mixer, 0)],
    ["sound start takes the lowest free channel", @() MixerSoundStart(mixer, boom)],
    ["its sound", @() ObjectIsSame(MixerChannelGetSound(mixer, 0), boom)],
    ["state playing", @() MixerChannelGetState(mixer, 0)],
    ["lock a free channel", @() MixerChannelLock(mixer)],
    ["the locked channel is not handed out", @() MixerSoundStart(mixer, hiss)],
    ["try to lock a locked channel", @() MixerChannelTryLock(mixer, 1)],
    ["try to lock a free one", @() MixerChannelTryLock(mixer, 5)],
    ["start on a locked channel still plays", @() MixerChannelStart(mixer, 5, hiss)],
    ["pause", @() MixerChannelPause(mixer, 5)],
    ["state paused", @() MixerChannelGetState(mixer, 5)],
    ["resume", @() MixerChannelResume(mixer, 5)],
    ["stop", @() MixerChannelStop(mixer, 5)],
    ["state stopped", @() MixerChannelGetState(mixer, 5)],
    ["gain", @() MixerChannelSetGain(mixer, 3, 0.25)],
    ["pitch", @() MixerChannelSetPitch(mixer, 3, 1.5)],
    ["loop mode", @() MixerChannelSetLoopMode(mixer, 3, LoopRepeat)],
    ["loop position", @() MixerChannelSetLoopPosition(mixer, 3, 1200)],
    ["setters with MixerChannelInvalid do nothing", function() {
        MixerChannelSetGain(mixer, MixerChannelInvalid, 0.5);
        MixerChannelSetPitch(mixer, MixerChannelInvalid, 0.5);
        MixerChannelSetLoopMode(mixer, MixerChannelInvalid, 1);
        MixerChannelSetLoopPosition(mixer, MixerChannelInvalid, 1);
    }],
    ["master gain", @() MixerSetGain(mixer, 0.5)],
    ["mute", @() MixerMute(mixer)],
    ["unmute", @() MixerUnmute(mixer)],
    ["a stream that cannot be opened", @() MixerStreamStart(mixer, "missing.ogg")],
    ["lock and stream fails, channel stays locked", @() MixerChannelLockAndStream(mixer, 7, "missing.ogg")],
    ["then the lock cannot be taken", @() MixerChannelTryLock(mixer, 7)],
    ["start stream on a channel", @() MixerChannelStartStream(mixer, 8, "missing.ogg")],
    ["unlock one", @() MixerChannelUnlock(mixer, 7)],
    ["and it can be locked again", @() MixerChannelTryLock(mixer, 7)],
    ["unlock all", @() MixerChannelUnlockAll(mixer)],
    ["a free channel after unlock all", @() MixerChannelLock(mixer)],
    ["stop all", @() MixerChannelStopAll(mixer)],
    ["update", @() MixerUpdate(mixer)],
    ["constants", @() [LoopNone, LoopRepeat, ChannelStateInvalid, ChannelStateStopped, ChannelStatePlaying,
                       ChannelStatePaused, MixerChannelInvalid, MixerMaxChannel]],
];
foreach (row in rows) {
    local call = row[1];
    local result = call();
    if (typeof result == "array") {
        local text = "";
        foreach (x in result)
            text += " " + x;
        result = text;
    }
    print(row[0] + ": " + (result == null ? "-" : result));
}
// Every channel busy or locked: no channel, and the mixer says so.
for (local i = 0; i < MixerMaxChannel; ++i)
    MixerChannelTryLock(mixer, i);
print("all locked: " + MixerSoundStart(mixer, boom));
