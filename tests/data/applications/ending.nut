class Ending {
    frame = 0;
    function OnUpdate(s) {
        frame++;
        print("update " + frame);
        if (frame == 2)
            SceneEnd(s);
    }
    function OnRenderUI(s) { print("render ui " + frame); }
    function OnDelete(s) { print("scene deleted"); }
}
