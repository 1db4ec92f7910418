// Builds a stack of two layers, reorders it, hides one layer and ends the run.
class Stack {
    frame = 0;
    hud = null;
    menu = null;
    function OnSetup(p) {
        print("OnSetup " + g_text + " " + g_count + " " + g_ratio + " " + Describe(g_context_project));
        hud = ProjectInstantiateScene(p, "hud.zml", ProjectInstantiateLayerFront);
        menu = ProjectInstantiateScene(p, "menu.zml", ProjectInstantiateLayerBack);
    }
    function OnUpdate(p) {
        frame++;
        print("frame " + frame);
        if (frame == 2)
            ProjectLayerMoveToFront(p, ProjectGetSceneLayerList(p, menu)[0]);
        if (frame == 3)
            ProjectSceneActivate(p, hud, false);
        if (frame == 4)
            ProjectEnd(p);
    }
    function OnActivateScene(p, scene, state) { print("activate " + ProjectSceneGetScriptInstance(scene).name + " " + state); }
    function OnClose(p) { print("OnClose"); }
}
