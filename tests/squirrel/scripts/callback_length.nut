// map, apply, filter and reduce take the array's length once, before the first call, and
// visit that many indexes whatever the callback does to the array. Past its current end a
// callback gets the item read last again, apply's store there does nothing, and map's
// result has one item per index. Each method meets each change, made at every call, on a
// fresh [1, 2, 3, 4]; the lines show what each call was passed, the result and the array.
function show(arr) {
    local s = "";
    foreach (i, x in arr) s += (i ? "," : "") + x;
    return "[" + s + "]";
}
local changes = [
    ["none", function(a) {}],
    ["append", function(a) { if (a.len() < 7) a.append(a.len() * 10); }],
    ["pop", function(a) { if (a.len()) a.pop(); }],
    ["clear", function(a) { a.clear(); }],
    ["remove0", function(a) { if (a.len()) a.remove(0); }],
    ["insert0", function(a) { a.insert(0, -1); }],
    ["resize1", function(a) { a.resize(1); }],
    ["resize6", function(a) { a.resize(6, 7); }],
    ["overwrite", function(a) { for (local i = 0; i < a.len(); i++) a[i] = 100 + i; }],
];
foreach (c in changes) {
    local name = c[0], change = c[1];
    local a = [1, 2, 3, 4], seen = "";
    local r = a.map(function(x) { seen += x + " "; change(a); return x * 2; });
    print(name + " map: " + seen + "-> " + show(r) + " " + show(a) + "\n");

    a = [1, 2, 3, 4]; seen = "";
    a.apply(function(x) { seen += x + " "; change(a); return x * 10; });
    print(name + " apply: " + seen + "-> " + show(a) + "\n");

    a = [1, 2, 3, 4]; seen = "";
    r = a.filter(function(i, x) { seen += i + ":" + x + " "; change(a); return i != 1; });
    print(name + " filter: " + seen + "-> " + show(r) + " " + show(a) + "\n");

    a = [1, 2, 3, 4]; seen = "";
    r = a.reduce(function(s, x) { seen += x + " "; change(a); return s + x; });
    print(name + " reduce: " + seen + "-> " + r + " " + show(a) + "\n");
}

// An empty or one-item array: no call, whatever the callback would do.
local calls = 0;
local grow = function(...) { calls++; return 0; };
print(show([].map(grow)) + " " + show([].filter(grow)) + " " + [].reduce(grow) + " " + [5].reduce(grow) + " " + calls + "\n");

// The array cleared before the first call's item is read past: every call gets the first item.
local b = [7, 8, 9];
print(show(b.map(function(x) { b.clear(); return x; })) + "\n");

// A callback that raises part way stops the walk; the changes made so far stay.
local e = [1, 2, 3];
try {
    e.apply(function(x) { if (x == 2) throw "stop at " + x; e.append(x); return -x; });
} catch (err) {
    print(err + " " + show(e) + "\n");
}
