// The demo project: stacks its layers, reports what happens and ends after a
// fixed number of frames unless started with -Di demo_interactive 1. Its last
// frame is ray traced into a TGA file: "demo-raytraced.tga" in the working
// folder, another path with -Ds demo_trace <path>, none with -Di demo_raytrace 0.

class Demo
{
    counter = null;
    world = null;
    overlay = null;
    tracer = null;
    lastFrames = 3000;

    function OnSetup(project)
    {
        print("Tavrin demo: " + (g_context_project ? "project mode" : "scene mode") + ".");
        if (IsDefined("demo_frames"))
            lastFrames = demo_frames;
        counter = FrameCounter(500);
        // Made before the world loads: the renderer then keeps the meshes and
        // pictures the ray tracer reads.
        if (!IsDefined("demo_raytrace") || demo_raytrace != 0)
            tracer = EngineNewRaytracer(g_engine);
        world = ProjectInstantiateScene(project, "world.zms", ProjectInstantiateLayerBack);
        overlay = ProjectInstantiateScene(project, "overlay.zml", ProjectInstantiateLayerFront);
        if (!ObjectIsValid(world) || !ObjectIsValid(overlay))
            print("A layer could not be made.");
        // The world's geometries and textures go to the renderer once, now.
        EngineSetupResources(g_engine);
        if (Interactive())
            print("Running until Escape is pressed.");
        else
            print("Running " + lastFrames + " frames.");
    }

    function Interactive()
    {
        return IsDefined("demo_interactive") && demo_interactive != 0;
    }

    function OnUpdate(project)
    {
        if (counter.Step(g_dt_frame))
            print("Frame " + counter.frames + ", " + FormatSeconds(counter.seconds) + " of demo time.");
        if (counter.frames == lastFrames / 2) {
            // Halfway: the overlay steps aside for a moment, then returns.
            ProjectSceneActivate(project, overlay, false);
            ProjectSceneActivate(project, overlay, true);
        }
        if (!Interactive() && counter.frames >= lastFrames) {
            TraceLastFrame();
            ProjectEnd(project);
        }
    }

    // The world as the ray tracer sees it, small enough to take a moment.
    function TraceLastFrame()
    {
        if (tracer == null)
            return;
        local path = IsDefined("demo_trace") ? demo_trace : "demo-raytraced.tga";
        if (RaytracerSetScene(tracer, ProjectSceneGetInstance(world)) && RaytracerTrace(tracer, path, 320, 240))
            print("Ray traced the last frame into " + path + " (320 x 240).");
        else
            print("The last frame could not be ray traced into " + path + ".");
    }

    function OnActivateScene(project, scene, state)
    {
        local name = ProjectSceneGetType(scene) == ProjectSceneTypeScene2d ? "overlay" : "world";
        print("Layer " + name + (state ? " shown." : " hidden."));
    }

    function OnClose(project)
    {
        print("Demo over after " + counter.frames + " frames (" + FormatSeconds(counter.seconds) + ").");
    }
}
