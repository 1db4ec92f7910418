// The demo world's own script.
class World
{
    frames = 0;

    function OnSetup(scene) { print("World: five crates above the floor, two lights, one camera."); }
    function OnReset(scene) { frames = 0; print("World reset: the crates start to fall."); }
    function OnUpdate(scene) { frames++; }
    // A project clears its frame black: the world clears to its sky, the
    // BackgroundColor of world.zms, once its objects are queued.
    function OnRenderDone(scene) { RendererClearFrame(EngineGetRenderer(g_engine), 0.35, 0.45, 0.6); }
    function OnDelete(scene) { print("World closed after " + frames + " updates."); }
}
