// Runs until something outside ends it.
class Endless {
    started = false;
    function OnUpdate(p) { if (!started) { started = true; print("running"); } }
    function OnClose(p) { print("OnClose"); }
}
