// The interface of a 3D scene, through both names, then a handle of the wrong
// kind, which ends the run.
class SceneUI {
    function OnUpdate(s) {
        local ui = SceneGetUI(s);
        print("valid: " + ObjectIsValid(ui));
        print("alias gives the same: " + ObjectIsSame(ui, SceneGetWindowSystem(s)));
        print("same on every call: " + ObjectIsSame(ui, SceneGetUI(s)));
        print("a window can be added: " + ObjectIsValid(UIAddWindow(ui, 7, 0.0, 0.0, 64.0, 32.0)));
        print("a text widget too: " + ObjectIsValid(UIAddStaticTextWidget(ui, 8, "hello", "default")));
        print("wrong kind next");
        SceneGetUI(g_engine);
        print("not reached");
    }
}
