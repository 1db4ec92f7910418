// The order in which an assignment used as a value reads and writes. A compound
// assignment to a field, an index or an outer variable evaluates its whole right side
// first (a field or index read, a local's ++ included), then reads the target's slot and
// key; `=` and `<-` yield a copy of a local right side, which a later change of that local
// in the same expression leaves alone.
local up = 10, o = { x = 1 }, arr = [3];
function id(v) { return v; }
function g() { return 10; }
function f() { return id(up += arr[0]); }
print(f() + " " + id(o.x += g()) + "\n");
local ring = [10, 20, 30], cur = 0;
ring[cur] += cur++;
print(ring[0] + " " + ring[1] + " " + cur + "\n");
ring = [10, 20, 30]; cur = 0;
ring[cur] += (cur++) + 100;
print(ring[0] + " " + ring[1] + " " + cur + "\n");
local p = { y = 0 }, x = 3;
print(((p.y = x) + (x = 5)) + " " + p.y + "\n");

// Reads logged by _get: the right side's slot, then the target's.
local log = "";
local proxy = {}.setdelegate({
    _get = function(k) { log += k; return k == "b" ? 3 : 10; },
    _set = function(k, v) { log += "=" + k; }
});
proxy.a -= proxy.b;
print(log + "\n");

// Locals changed later in the same expression: the assignment's value stays.
local s = 1, a = [0, 0], r = { a = 0, b = 0 };
print(((a[1] = s) + (s = 7)) + " " + a[1] + "\n");
print(((::c <- s) + (s = 11)) + " " + ((::c = s) + (s = 12)) + " " + ::c + "\n");
print(((r.a = r.b = s) + (s = 20)) + " " + r.a + " " + r.b + "\n");
local u = 1;
print((function() { return (up = u) + (u = 2) + (up += u) + up; })() + " " + up + "\n");

// Outer variables and members from lambdas, generators and methods, as arguments after
// others: each argument lands where the call reads it.
local show = @(...) vargv.reduce(@(p, q) p + "," + q);
local k = 1;
print((@() show(0, k += g(), k *= arr[0], k -= o.x, 9))() + "\n");
local gen = (function() { yield show(k += arr[0], k, k -= g()); })();
print(resume gen + "\n");
class Counter {
    n = 0;
    function step(by) { return show(n += by, n *= ::g(), this.n -= by, n); }
}
print(Counter().step(2) + "\n");
local list = [];
list.append(o.x += g());
list.append(up -= arr[0]);
print(show(list[0], list[1]) + " " + format("%d %d", o.x *= 2, up += 1) + "\n");

// Kept as this implementation does them, evaluating in source order where the
// language's reference reads a local late: a table key, a callee replaced inside its own
// arguments, a case label that assigns the value switched on, a default parameter that
// assigns an earlier one; and a local declared as an if's whole body stays in that body.
local i = 0;
local t = { [i] = i++ };
foreach (key, val in t) print(key + "=" + val + "\n");
local callee = @(x) "first " + x;
print(callee(callee = "replaced") + " " + callee + "\n");
local sw = 1, hit = "none";
switch (sw) {
case (sw = 2): hit = "two"; break;
case 1: hit = "one"; break;
}
print(hit + " " + sw + "\n");
local first = 1;
function defaults(first, second = (first = 5)) { return first + " " + second; }
print(defaults(2) + " " + defaults(2, 3) + " " + first + "\n");
local v = 1;
if (v) local v = 2;
print(v + "\n");
