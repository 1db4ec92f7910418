// On its second frame the project's script recurses without end.
class Recurse {
    frame = 0;
    function Down(n) { local r = Down(n + 1); return r; }
    function OnUpdate(p) {
        frame++;
        print("frame " + frame);
        if (frame == 2)
            Down(0);
    }
    function OnClose(p) { print("OnClose"); }
}
