class Frames {
    frame = 0;
    function OnSetup(s) { print("scene OnSetup"); }
    function OnReset(s) { print("scene OnReset"); }
    function OnUpdate(s) {
        frame++;
        print("update " + frame);
        if (frame == 3)
            ProjectEnd(g_scene);
    }
    function OnRenderDone(s) { print("render done " + frame); }
    function OnRenderUI(s) { print("render ui " + frame); }
}
