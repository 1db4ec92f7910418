// Assignments, compound assignments and ++/-- yield the stored value wherever they are
// used: as call arguments (alone, among others, nested), operands, literals and returns.
function show(...) {
    local s = "";
    foreach (i, v in vargv) s += (i ? "," : "") + v;
    print(s + "\n");
}
local a = [5, 6];
show(a[1]++, a[1]);
show(++a[0], a[0]--, a[0]);
show(a[1] = 9, a[1] += 2, a[1] -= 1, a[1] *= 2, a[1] /= 4, a[1] %= 3);
local t = { k = 1 };
show(t["k"]++, t.k, --t["k"], t.k = 4, t["k"] += 1);

// slots of captured (outer) variables
local tb = { k = 3 };
local arr = [10];
(function() {
    show(tb.k++, tb.k, tb.k += 10, tb.k = 1, tb["k"]--, ++arr[0], arr[0] = 0);
})();
show(tb.k, arr[0]);

// root slots
::g <- 4;
show(::g++, ::g = 7, ::g <- 8, ::g += 1, --::g, ::g);

// nested deeper inside an argument
local c = [1, 2], k = [0];
show("<" + c[1]++ + ">", c[k[0]++], k[0], c[k[0]] -= 1, k[0]--, c[0] + (c[1] = 40), [c[0]++, c[0]][1]);
show({ x = a[0]++, y = a[0] }.x, (t.k = 3) * 2, t.k > 2 ? t.k++ : 0, t.k);

// new slots with computed and literal keys
local q = {};
show(q.z <- 11, q["w"] <- 12, q[k[0] + 1] <- 13, q.z + q.w + q[1]);

// method calls and chains
local obj = { n = 0, function add(x, y) { return n + x + y; } };
show(obj.add(a[1] = 2, obj.n++), obj.n, a[0] = a[1] = t.k = 6, a[0], a[1], t.k);

// values used by the statement that follows
local v1 = c[0]++;
local v2 = tb.k += 5;
function ret(x) { return x.v++; }
local r = { v = 20 };
show(v1, v2, ret(r), r.v, (function() { return r.v = 30; })(), r.v);

// statements whose value is dropped leave the variables around them intact
local before = "kept";
for (local i = 0; i < 3; i++) { a[0]++; tb.k += i; ::g--; q.z <- i; }
show(before, a[0], tb.k, ::g, q.z);
