class Sounder {
    frame = 0;
    function OnSetup(s) {
        local tone = EngineLoadSound(g_engine, "tone.wav");
        EngineSetupResources(g_engine);
        print("tone on channel " + MixerSoundStart(EngineGetMixer(g_engine), tone));
    }
    function OnUpdate(s) {
        frame++;
        if (frame == 10)
            SceneEnd(s);
    }
    function OnDelete(s) { print("ended after " + frame + " frames"); }
}
