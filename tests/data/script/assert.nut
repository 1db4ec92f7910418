// A true assertion is silent; a false one prints the stack and stops unit calls, not the script.
__Assert(true, "never shown");
print("after true");
function Check(x) {
    __Assert(x > 1, "x > 1");
}
Check(0);
print("after false");
