// Scripts that try to take the process down end in errors the script can catch.
function attempt(what, f) {
    try {
        f();
        print(what + ": no error\n");
    } catch (e) {
        print(what + ": " + e + "\n");
    }
}
function repeat(s, doublings) {
    for (local i = 0; i < doublings; i++) s += s;
    return s;
}

// Chains of about 65,000 conditionals or assignments must not exhaust the compiler's stack.
local n = 16;
attempt("?: chain", @() compilestring("return 1" + repeat("?1", n) + repeat(":0", n)));
attempt("= chain", @() compilestring("local x; x" + repeat("=x", n) + "=1"));
attempt("+= chain", @() compilestring("local x = 0; x" + repeat("+=x", n) + "+=1"));
attempt("<- chain", @() compilestring("::x <- 0; ::x" + repeat("<-::x", n) + "<-1"));
// Short chains still compile and run.
print(compilestring("return 1" + repeat("?1", 6) + repeat(":0", 6))() + "\n");
print(compilestring("local x = 0, y = 0; x = y = x += 5; return x + y")() + "\n");

// Recursion through threads ends where the C stack they share runs short. Each thread
// reports its error as it unwinds; the handler keeps that quiet.
seterrorhandler(function(e) {});
function viaThread(depth) { return newthread(viaThread).call(depth + 1); }
attempt("thread recursion", @() viaThread(0));
function viaCallback(depth) { return [1].map(@(x) viaThread(depth)); }
attempt("thread and native recursion", @() viaCallback(0));

// Sizes no allocation can serve are refused before anything is allocated.
attempt("array(1 << 30)", @() array(1 << 30));
attempt("array(0x7fffffff)", @() array(0x7fffffff));
attempt("array(0x7fffffff, 1)", @() array(0x7fffffff, 1));
attempt("resize(0x7fffffff)", @() [].resize(0x7fffffff));
local kept = [1, 2, 3];
attempt("resize kept array", @() kept.resize(1 << 30, 0));
print("kept " + kept.len() + "\n");
