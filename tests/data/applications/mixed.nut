// A 3D and a 2D layer: instantiated, drawn, reordered, the 3D one deactivated.
class Mixed {
    frame = 0;
    world = null;
    hud = null;
    function OnSetup(p) {
        world = ProjectInstantiateScene(p, "world.zms", ProjectInstantiateLayerFront);
        hud = ProjectInstantiateScene(p, "hud.zml", ProjectInstantiateLayerFront);
        print("types " + ProjectSceneGetType(world) + " " + ProjectSceneGetType(hud));
    }
    function OnUpdate(p) {
        frame++;
        print("frame " + frame);
        if (frame == 2)
            ProjectLayerMoveToBack(p, ProjectGetSceneLayerList(p, hud)[0]);
        if (frame == 3)
            ProjectSceneActivate(p, world, false);
        if (frame == 4)
            ProjectEnd(p);
    }
    function OnRenderScene(p, scene, layer) { print("layer " + ProjectSceneGetType(scene)); }
    function OnClose(p) { print("OnClose"); }
}
