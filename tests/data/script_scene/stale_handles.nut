// Handles of every family whose objects are then deleted, and live objects to
// hand them to. S shows any result as text.
function S(x) {
    switch (typeof x) {
    case "null": return "-";
    case "userdata": return "handle " + (ObjectIsValid(x) ? "valid" : "empty");
    case "bool": case "integer": case "float": case "string": return x.tostring();
    }
    if ("sx" in x)
        return format("%d,%d,%d,%d", x.sx.tointeger(), x.sy.tointeger(), x.ex.tointeger(), x.ey.tointeger());
    return format("%g,%g,%g", x.x, x.y, x.z);
}
class Rect { sx = 0; sy = 0; ex = 0; ey = 0; }

// Items, their kinds and their motions.
item <- SceneFindItem(g_scene, "p1");
light <- ItemCastToLight(SceneFindItem(g_scene, "lamp"));
camera <- ItemCastToCamera(SceneFindItem(g_scene, "cam2"));
object <- ItemCastToObject(SceneFindItem(g_scene, "p2"));
motion <- ItemGetMotion(SceneFindItem(g_scene, "crate2"), "bob");
live_item <- SceneFindItem(g_scene, "q1");
foreach (name in ["p1", "lamp", "cam2", "p2", "crate2"])
    SceneDeleteItem(g_scene, SceneFindItem(g_scene, name));
SceneFlushDeletionQueue(g_scene);

// A window and its widget tree.
ui <- SceneGetUI(g_scene);
window <- UIAddWindow(ui, 1, 0.0, 0.0, 100.0, 50.0);
sizer <- UIAddVerticalSizerWidget(ui, 2);
text <- UIAddStaticTextWidget(ui, 3, "text", "default");
check <- UIAddCheckWidget(ui, 4, "check", "default", true);
container <- UIAddContainerWidget(ui, 5);
SizerAddWidget(sizer, text);
SizerAddWidget(sizer, check);
SizerAddWidget(sizer, container);
WindowSetBaseWidget(window, sizer);
root <- WindowGetChild(window, 2);
UIDeleteWindow(ui, window);
live_window <- UIAddWindow(ui, 10, 0.0, 0.0, 100.0, 50.0);
live_sizer <- UIAddVerticalSizerWidget(ui, 11);
live_container <- UIAddContainerWidget(ui, 12);
WindowSetBaseWidget(live_window, live_container);

// Resources: a texture, a geometry with its material, a sound.
engine <- TestEngine();
texture <- EngineCreateTexture(engine, 4, 4, true);
geometry <- TestGeometry("box", "red");
material <- GeometryGetMaterialFromIndex(geometry, 0);
sound <- TestSound("step");
EngineDeleteAllResources(engine);
