// 2D layers that report each step.
class Layer {
    function OnSetup(s) { print(name + " OnSetup"); }
    function OnReset(s) { print(name + " OnReset"); }
    function OnUpdate(s) { print(name + " drawn"); }
}
class Hud extends Layer { name = "hud"; }
class Menu extends Layer { name = "menu"; }
