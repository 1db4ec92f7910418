// The demo world's own script.
class World
{
    frames = 0;

    function OnSetup(scene) { print("World: five crates above the floor, two lights, one camera."); }
    function OnReset(scene) { frames = 0; print("World reset: the crates start to fall."); }
    function OnUpdate(scene) { frames++; }
    function OnDelete(scene) { print("World closed after " + frames + " updates."); }
}
