class Capture {
    frame = 0;
    function OnSetup(s) {
        EngineSetFixedDeltaFrame(g_engine, 0.1);
        local tone = EngineLoadSound(g_engine, "tone.wav");
        EngineSetupResources(g_engine);
        MixerSoundStart(EngineGetMixer(g_engine), tone);
    }
    function OnUpdate(s) {
        frame++;
        if (frame == 1000)
            SceneEnd(s);
    }
    function OnDelete(s) { print("ended after " + frame + " frames"); }
}
