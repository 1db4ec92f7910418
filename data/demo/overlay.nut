// The 2D overlay drawn in front of the demo.
class Overlay
{
    title = "overlay";
    draws = 0;

    function OnSetup(scene) { print("Overlay set up."); }
    function OnReset(scene) { draws = 0; }
    function OnUpdate(scene)
    {
        draws++;
        if (draws == 1)
            print("Overlay drawn for the first time.");
    }
}
