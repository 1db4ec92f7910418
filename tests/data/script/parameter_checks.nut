// Type masks and parameter counts are checked by the VM before the native runs.
local cases = [
    @() Mod(1),
    @() Mod(1, 2, 3),
    @() Mod(1.5, 2),
    @() Pow(2, 3),
    @() ObjectIsValid(5),
    @() ObjectIsSame(TestHandle(1), "x"),
    @() ShellExecute("echo"),
    @() FileRename("a", 1),
    @() __Assert(1, "x"),
];
foreach (i, c in cases) {
    try {
        c();
        print(i + ": no error");
    } catch (e) {
        print(i + ": " + e);
    }
}
