// A collection run from inside a callback never changes what the program holds: natives
// and the VM keep every object they are in the middle of (a result being filled, an item
// read again, a new instance, copy or class, an error on its way out) reachable while the
// script they called runs. Each case prints what it got back; "whole" means nothing was
// cleared.
function whole(t) { return "v" in t && t.v == 1 ? "whole" : "cleared"; }
local box = @() { v = 1 };

// Results being filled, and items that only the native still refers to; the result is
// not among the unreachable objects either.
collectgarbage();
print("unreachable " + [1, 2, 3].map(@(x) resurrectunreachable() == null).reduce(@(p, q) p && q) + "\n");
print("map " + [1, 2, 3, 4, 5].map(function(x) { collectgarbage(); return x; }).len() + "\n");
print("filter " + [1, 2, 3, 4, 5].filter(function(i, x) { collectgarbage(); return true; }).len() + "\n");
local a = [box(), box()];
local kept = a.filter(function(i, x) { x = null; a.pop(); collectgarbage(); return true; });
print("filter items " + whole(kept[0]) + " " + whole(kept[1]) + "\n");
local b = [box(), box(), box()];
local seen = b.map(function(x) { local w = whole(x); x = null; b.clear(); collectgarbage(); return w; });
print("map items " + seen[0] + " " + seen[1] + " " + seen[2] + "\n");
local c = [box(), box(), box()];
local applied = [];
c.apply(function(x) { applied.append(whole(x)); x = null; c.clear(); collectgarbage(); return 0; });
print("apply items " + applied[0] + " " + applied[1] + " " + applied[2] + "\n");
local d = [box(), box(), box()];
print("reduce items " + d.reduce(function(s, x) {
    local r = (typeof s == "table" ? whole(s) : s) + " " + whole(x);
    x = null; d.clear(); collectgarbage(); return r;
}) + "\n");

// The new instance while a constructor runs with another `this` (a bound one), for a class
// called as a metamethod and from script code; a copy while its _cloned runs so; a class while
// its base's _inherited runs so.
local other = {};
class P { v = 1; }
P.constructor <- (function(...) { collectgarbage(); }).bindenv(other);
print("constructor " + whole({}.setdelegate({ _get = P }).anything) + " " + whole(P()) + "\n");
class Q { v = 1; }
Q._cloned <- (function(orig) { collectgarbage(); }).bindenv(other);
local t = box().setdelegate({ _cloned = (function(orig) { collectgarbage(); }).bindenv(other) });
print("clone " + whole(clone Q()) + " " + whole(clone t) + "\n");
class Base { v = 1; function m() { return "method"; } }
Base._inherited <- (function(attrs) { collectgarbage(); }).bindenv(other);
class Derived extends Base {}
print("inherit " + whole(Derived()) + " " + ("m" in Derived ? Derived().m() : "no method") + "\n");

// An error on its way out of a call, once the frames that raised it are gone, while the
// error handler and the debug hook run scripts that throw (and catch) errors of their own
// and collect.
function noisy() {
    try { throw "other"; } catch (e) {}
    collectgarbage();
}
function thrower(x) { throw box(); }
function outer(x) { thrower(x); }
seterrorhandler(function(e) { e = null; noisy(); });
try {
    (function() { [0].map(thrower); }).call(this);
} catch (e) {
    print("error handler " + whole(e) + "\n");
}
seterrorhandler(null);
setdebughook(function(type, src, line, name) { if (type == 'r' && name == "outer") noisy(); });
try {
    [0].map(outer);
} catch (e) {
    print("debug hook " + whole(e) + "\n");
}
setdebughook(null);
