class World {
    function OnSetup(s) { print("world OnSetup"); }
    function OnReset(s) { print("world OnReset"); }
    function OnUpdate(s) { print("world updated"); }
    function OnRenderDone(s) { print("world drawn"); }
    function OnRenderUI(s) { print("world ui"); }
}
