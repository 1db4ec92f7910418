// Hands the engine where a project is expected on the first frame.
class WrongKind {
    frame = 0;
    function OnSetup(p) { ProjectInstantiateScene(p, "hud.zml", ProjectInstantiateLayerFront); }
    function OnUpdate(p) {
        frame++;
        print("frame " + frame);
        ProjectEnd(g_engine);
        print("not reached");
    }
    function OnClose(p) { print("OnClose"); }
}
