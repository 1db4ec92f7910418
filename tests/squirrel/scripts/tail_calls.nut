// A tail call keeps the caller's locals alive while the callee runs: an environment held
// only weakly by the called closure must still be there.
function bound() {
    local o = { v = 5 };
    local f = (function() { return v; }).bindenv(o);
    return f();
}
print(bound() + "\n");

function peek(w) { return w.ref() == null ? "gone" : w.ref().v; }
function weakArg() {
    local pad1 = null, pad2 = null;
    local o = { v = 7 };
    return peek(o.weakref());
}
print(weakArg() + "\n");

// Tail calls still run in constant stack space, and what the caller held is released
// once the chain returns.
function count(n, acc) {
    if (n == 0) return acc;
    local junk = [n];
    return count(n - 1, acc + junk[0] % 3);
}
print(count(1000000, 0) + "\n");

local probe = {};
local watch = probe.weakref();
function drop(x) { return null; }
function hold() { local mine = probe; return drop(1); }
hold();
probe = null;
print((watch.ref() == null) + "\n");

// A lambda whose body is a call returns it as a tail call: the callee sees the lambda's
// caller below it.
function caller() { return getstackinfos(2).func; }
local lam = @() caller();
local notTail = @() caller() + "";
function wrap() { return lam(); }
function wrapNotTail() { return notTail(); }
print(wrap() + " " + wrapNotTail() + "\n");
