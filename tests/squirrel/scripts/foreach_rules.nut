// foreach: which containers are read again at every step, what a generator loop leaves in
// its variables, and which hidden locals stack inspection lists.
function join(items) {
    local s = "";
    foreach (x in items) s += (s == "" ? "" : " ") + x;
    return s;
}
function run(name, f) {
    try {
        print(name + ": " + f() + "\n");
    } catch (e) {
        print(name + ": error " + e + "\n");
    }
}
function counter(from) {
    for (local i = from; i < from + 3; i++) yield i;
}

// A plain local or parameter is read again at each step: the loop goes on with whatever
// it holds now, at the next index. Captured variables and other expressions are read once.
run("local array, longer", function() {
    local list = [1, 2], seen = [];
    foreach (v in list) { seen.append(v); list = [7, 8, 9]; }
    return join(seen);
});
run("local array, shorter", function() {
    local list = [1, 2, 3], seen = [];
    foreach (v in list) { seen.append(v); list = [9]; }
    return join(seen);
});
run("parameter", function() {
    local seen = [];
    (function(list) { foreach (i, v in list) { seen.append(i + "=" + v); list = "xyz"; } })(["a", "b", "c"]);
    return join(seen);
});
run("local generator", function() {
    local g = counter(0), seen = [];
    foreach (i, v in g) { seen.append(i + "=" + v); if (i == 1) g = counter(100); }
    return join(seen);
});
run("local set to null", function() {
    local list = [1, 2];
    foreach (v in list) list = null;
    return "no error";
});
run("captured variable", function() {
    local list = [1, 2], seen = [];
    (function() { foreach (v in list) { seen.append(v); list = [7, 8, 9]; } })();
    return join(seen);
});
run("table slot", function() {
    local t = {list = [1, 2]}, seen = [];
    foreach (v in t.list) { seen.append(v); t.list = [7, 8, 9]; }
    return join(seen);
});
run("call result", function() {
    local list = [1, 2], seen = [];
    foreach (v in (@() list)()) { seen.append(v); list = [7, 8, 9]; }
    return join(seen);
});

// Over a generator the key is set before each resume, and the value takes what the
// resume gave, the generator's return value (or null) at the end included.
local peek = null;
function letters() {
    yield "a";
    if (peek) print("inside: " + peek() + "\n");
    yield "b";
    return "ret";
}
foreach (i, v in letters()) if (peek == null) peek = @() i + ":" + v;
print("after: " + peek() + "\n");
peek = null;
function noReturn() { yield 1; }
foreach (i, v in noReturn()) peek = @() i + ":" + (v == null ? "null" : v);
print("no return value: " + peek() + "\n");
local done = noReturn();
resume done;
resume done;
local untouched = "kept";
foreach (v in done) untouched = v;
print("dead generator: " + untouched + "\n");

// The hidden iterator is listed only beside a named container.
function listed(a) {
    local out = [];
    foreach (v in a) out.append("@ITERATOR@" in getstackinfos(1).locals);
    foreach (v in [7]) out.append("@ITERATOR@" in getstackinfos(1).locals);
    local local_ = [7];
    foreach (v in local_) out.append("@ITERATOR@" in getstackinfos(1).locals);
    foreach (v in counter(0)) { out.append("@ITERATOR@" in getstackinfos(1).locals); break; }
    return join(out);
}
print("iterator listed: " + listed([1]) + "\n");
