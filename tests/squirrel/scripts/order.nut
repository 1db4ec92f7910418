// Iteration and sort order: tables walk their nodes, sort is the in-place heapsort.
function keys(t) {
    local s = "";
    foreach (k, v in t) s += k + " ";
    return s;
}
// Literals are presized to their entry count; later keys may force a rebuild.
local t = { a = 1, b = 2, c = 3 };
print(keys(t) + "\n");
t.d <- 4;
print(keys(t) + "\n");
t.e <- 5;
print(keys(t) + "\n");
delete t.a;
print(keys(t) + "\n");
// Integer keys hash to themselves; a float key to its truncated value.
local n = {};
foreach (k in [7, 3, 12, -1, 4, 100]) n[k] <- k;
print(keys(n) + "\n");
local mixed = {};
mixed[2] <- "i";
mixed[2.5] <- "f";
mixed[true] <- "b";
mixed["x"] <- "s";
foreach (k, v in mixed) print(v);
print("\n");
// Deleting down to a quarter shrinks and reorders what is left.
local big = {};
for (local i = 0; i < 20; i++) big["k" + i] <- i;
print(keys(big) + "\n");
for (local i = 0; i < 16; i++) delete big["k" + i];
print(keys(big) + "\n");
// Bytes above 0x7F hash as negative characters.
local hi = { ["caf\xe9"] = 1, ["cafe"] = 2, ["\xff"] = 3, ["z"] = 4 };
print(keys(hi).len() + " " + keys(hi).find("cafe") + "\n");
// clone keeps the layout; clear empties it.
local c = clone big;
print(keys(c) + "\n");
c.clear();
print(c.len() + " [" + keys(c) + "]\n");
// Class members and a derived class's copy of them.
class Base { x = 1; y = 2; function f() {} constructor() {} }
class Derived extends Base { z = 3; function g() {} }
print(keys(Base) + "\n");
print(keys(Derived) + "\n");
// Tables the library builds.
local infos = (function(a, b = 1) {}).getinfos();
print(keys(infos) + "\n");

// Sort: equal keys come out in the heapsort's order, not the input order.
local recs = [];
foreach (i, k in [1, 0, 1, 0, 1, 0, 2, 2, 0]) recs.push({ k = k, n = i });
recs.sort(@(a, b) a.k <=> b.k);
foreach (r in recs) print(r.k + ":" + r.n + " ");
print("\n");
local nums = [5, 3, 9, 1, 5, 7, 3, 0, -2, 8];
nums.sort();
foreach (x in nums) print(x + " ");
print("\n");
nums.sort(@(a, b) b <=> a);
foreach (x in nums) print(x + " ");
print("\n");
local words = ["pear", "fig", "apple", "kiwi", "date"];
words.sort(@(a, b) a.len() <=> b.len());
foreach (w in words) print(w + " ");
print("\n");
// A compare function that says every element is smaller than itself.
try { [2, 1].sort(@(a, b) -1); } catch (e) print(e + "\n");
// One element or none: nothing to compare.
local calls = 0;
[1].sort(function(a, b) { calls++; return 0; });
[].sort(function(a, b) { calls++; return 0; });
print("calls " + calls + "\n");
// Counting the comparisons pins the algorithm.
calls = 0;
local data = [4, 8, 1, 9, 2, 7, 3];
data.sort(function(a, b) { calls++; return a <=> b; });
foreach (x in data) print(x + " ");
print("calls " + calls + "\n");
// A compare function that empties the array stops the sort instead of reading past it.
local shrinking = [3, 1, 2, 5, 4];
try {
    shrinking.sort(function(a, b) { shrinking.clear(); return a <=> b; });
} catch (e) print(e + " " + shrinking.len() + "\n");
// clone makes a table sized as the source and inserts the entries in the source's order:
// after deletes and inserts the copy's order can differ.
local holes = {};
foreach (k in [0, 4, 1]) holes[k] <- k;
delete holes[0];
print(keys(holes) + "| " + keys(clone holes) + "\n");
local copied = { a = 1, b = 2, c = 3 };
copied.setdelegate({ d = 4 });
local copy = clone copied;
print(keys(copy) + copy.d + "\n");
