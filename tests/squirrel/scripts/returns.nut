// Returns: the values they give, what a finished frame releases, and what a return hook
// sees, whatever shortcut the compiler takes to the return.

// A result chosen by `?:` or reached through a jump.
function pick(c, a, b) { return c ? a : b; }
function fib(n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }
function sign(x) { if (x < 0) return -1; else if (x > 0) return 1; return 0; }
function firstOf(t) { local r = null; foreach (k, v in t) { r = v; break; } return r; }
function ifThen(x) { local r = 1; if (x) r = 2; return r; }
function below(x) { local r = "no"; if (x < 3) r = "yes"; return r; }
function nested(a, b) { return a ? (b ? "ab" : "a") : (b ? "b" : "-"); }
local cases = [
    [pick(true, 1, 2), 1], [pick(false, 1, 2), 2], [pick(null, "x", "y"), "y"],
    [fib(15), 610], [sign(-3), -1], [sign(0), 0], [sign(8), 1],
    [firstOf([7, 8]), 7], [firstOf([]), null],
    [ifThen(true), 2], [ifThen(false), 1], [below(1), "yes"], [below(5), "no"],
    [nested(1, 1), "ab"], [nested(1, 0), "a"], [nested(0, 1), "b"], [nested(0, 0), "-"],
]
// A function with more named locals than the compiler looks through keeps its code and
// returns the same.
local manyLocals = "return function(c, a, b) { "
for (local i = 0; i < 300; i++) manyLocals += "{ local l" + i + " = " + i + "; } "
local many = compilestring(manyLocals + "return c ? a : b; }")()
cases.extend([[many(true, "a", "b"), "a"], [many(false, "a", "b"), "b"]])
foreach (i, c in cases) if (c[0] != c[1]) print("case " + i + ": " + c[0] + " instead of " + c[1] + "\n")
local t = {}
print((pick(true, t, null) == t) + " " + (pick(false, null, t) == t) + "\n")

// Whatever the frame's size and wherever the only reference sits, returning releases it.
// Each method has `size` slots: `this`, then locals holding plain values but the one at
// `at`, which takes the holder's object.
function methodOf(size, at) {
    local src = "return function() { "
    for (local i = 1; i < size; i++) src += "local v" + i + " = " + (i % 3 == 0 ? "1.5" : i % 3 == 1 ? "true" : i) + "; "
    return compilestring(src + "v" + at + " = this.obj; this.obj = null; return 0; }")()
}
function arm(holder) { holder.obj = []; return holder.obj.weakref(); }
local failed = []
foreach (size in [2, 3, 4, 7, 8, 9, 15, 16, 17, 18, 40]) {
    foreach (i, at in [1, size / 2, size - 1]) {
        if (at < 1 || (i == 1 && at == 1) || (i == 2 && at <= size / 2)) continue
        local holder = { obj = null, f = methodOf(size, at) }
        local w = arm(holder)
        holder.f()
        if (w.ref() != null) failed.append(size + "/" + at)
    }
}
print("frames keeping a reference: " + failed.len() + (failed.len() ? " " + failed.reduce(@(a, b) a + " " + b) : "") + "\n")

// The function called goes with its call: one made for a single call is released when
// that call returns, whichever way it was called, and a function returning itself is
// its own result.
function makeOne(v) { return function() { return v; } }
local kept = []
local weak = null
local viaTemporary = (function() { local f = makeOne("t"); weak = f.weakref(); return f; })()()
if (viaTemporary != "t" || weak.ref() != null) kept.append("temporary")
local holder = { f = makeOne("m") }
weak = holder.f.weakref()
local viaMethod = holder.f()
holder.f = null
if (viaMethod != "m" || weak.ref() != null) kept.append("method")
::oneShot <- makeOne("g")
weak = ::oneShot.weakref()
local viaGlobal = oneShot()
delete ::oneShot
if (viaGlobal != "g" || weak.ref() != null) kept.append("global")
local self = { f = function() { return this.f; } }
if (self.f() != self.f) kept.append("itself")
print("calls keeping their function: " + kept.len() + (kept.len() ? " " + kept.reduce(@(a, b) a + " " + b) : "") + "\n")

// A return hook reports the line of the return that runs, and the locals in scope there.
local events = []
setdebughook(function(type, src, line, name) {
    if (src != "traced" || type != 'r' || name == "main") return
    local locals = getstackinfos(2).locals
    local seen = []
    foreach (k, v in locals) if (k != "this") seen.append(k + "=" + v)
    seen.sort()
    events.append(name + "@" + line + (seen.len() ? "[" + seen.reduce(@(a, b) a + "," + b) + "]" : ""))
})
enabledebuginfo(true)
compilestring(@"function branches(c) {
    local r = 0;
    if (c) r = 1;
    else r = 2;
    return r;
}
function copied(x) {
    local y; y = x; return y;
}
function ternary(c) { return c ? 10 : 20; }
branches(true); branches(false); copied(5); ternary(true); ternary(false);", "traced")()
setdebughook(null)
enabledebuginfo(false)
foreach (e in events) print(e + " ")
print("\n")
