// An uncaught error stops the script with the error block and the call stack.
class Thing {
    function Fail(n) {
        local t = {};
        return t.missing + n;
    }
}
function Go() {
    Thing().Fail(1);
}
print("start");
Go();
print("not reached");
