// On its second frame the project's script spins until something stops it.
class Spin {
    frame = 0;
    function OnUpdate(p) {
        frame++;
        if (frame == 2) {
            print("spinning");
            while (true) {}
        }
    }
    function OnClose(p) { print("OnClose"); }
}
