// Start-up library of the test projects: runs before the defines exist.
print("zad.nut runs, define visible " + ("g_text" in getroottable()));
function Describe(name) { return "[" + name + "]"; }
