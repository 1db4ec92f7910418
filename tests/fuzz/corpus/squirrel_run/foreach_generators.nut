function steps() { local got = suspend("w"); yield got; yield 2; return 3; }
local th = newthread(function() { local s = 0; foreach (k, v in steps()) s += k; return s; });
th.call();
th.wakeup(1);
local list = [1, 2], seen = 0;
foreach (v in list) { seen += v; list = [3, 4, 5]; }
local g = (function() { yield 1; })();
try { foreach (i, v in g) g = null; } catch (e) {}
local t = {a = 1}, c = clone t;
c.b <- 2;
::x <- 1;
class C { function f() { return this.x; } }
print((16777217 > 16777216.0) + " " + (-0.0 > 0.0) + " " + C().f() + " " + 1e5e5 + (@() seen)());
