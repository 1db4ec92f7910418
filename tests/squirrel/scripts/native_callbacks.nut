// Script functions called back from natives (sort comparators, map, apply, filter,
// reduce): plain closures take a short path, everything else the general call. Both must
// give the same results, errors, `this` and releases.
local a = [5, 3, 9, 1];
local show = @(arr) arr.reduce(@(x, y) x + "," + y);
function sorted(arr, f) { local c = clone arr; c.sort(f); return c; }
print(show(sorted(a, @(x, y) x <=> y)) + " " + show(a.map(@(x) x * 2)) + " " + show(a.filter(@(i, x) x > 3)) + "\n");

// Other kinds of function: varargs, defaults, a bound environment, a native, a generator.
local env = { k = 10 };
local kinds = [
    ["varargs", function(...) { return vargv[0] + 1; }],
    ["default", function(x, y = 100) { return x + y; }],
    ["bound", (function(x) { return x + k; }).bindenv(env)],
    ["native", type],
    ["generator", function(x) { yield x; }],
];
foreach (k in kinds) {
    try {
        local r = a.map(k[1]);
        print(k[0] + ": " + r.map(@(x) typeof x == "generator" ? "gen" : x.tostring()).reduce(@(p, q) p + " " + q) + "\n");
    } catch (e) {
        print(k[0] + ": " + e + "\n");
    }
}

// Wrong argument counts, errors inside (caught there and outside), and a comparator that
// sorts again inside.
foreach (f in [@() 0, @(x, y, z) 0, function(x, y) { throw "boom"; }, function(x, y) { try { throw "in"; } catch (e) {} return y <=> x; }]) {
    try {
        print(show(sorted(a, f)) + "\n");
    } catch (e) {
        print("sort: " + e + "\n");
    }
}
local inner = 0;
print(show(sorted(a, function(x, y) { inner += sorted([3, 1, 2], @(p, q) p <=> q)[0]; return x <=> y; })) + " " + inner + "\n");

// `this` inside a comparator is the root table; a callback's own objects go when it returns.
::mark <- "root";
print(show(sorted(a, function(x, y) { return this.mark == "root" ? x <=> y : 0; })) + "\n");
local watch = null;
a.apply(function(x) { local t = {}; if (x == 9) watch = t.weakref(); return x; });
print((watch.ref() == null) + "\n");
