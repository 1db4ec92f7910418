// A remainder the machine cannot compute is a script error, not a crash.
foreach (c in [[Mod, 5, 0], [AbsMod, 5, 0], [Mod, -2147483647 - 1, -1], [AbsMod, -2147483647 - 1, -1]]) {
    try {
        local f = c[0];
        print(f(c[1], c[2]));
    } catch (e) {
        print("caught: " + e);
    }
}
print("still running");
function Divide() {
    return Mod(1, 0);
}
Divide();
print("not reached");
