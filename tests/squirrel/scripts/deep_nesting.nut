// Nesting is bounded by the C stack that is left, not by a count: deep but reasonable
// scripts compile and run, and inputs nested 60,000 deep end in errors a script catches.
function repeat(s, n) {
    local out = "";
    for (; n > 0; n = n >> 1, s += s)
        if (n & 1) out += s;
    return out;
}
function attempt(what, src) {
    try {
        print(what + ": " + compilestring(src)() + "\n");
    } catch (e) {
        print(what + ": " + e + "\n");
    }
}
function elseIfChain(n) {
    local src = "local x = " + (n - 1) + ";";
    for (local i = 0; i < n; i++) src += (i ? " else " : "") + "if (x == " + i + ") return " + i + ";";
    return src;
}
function nestedFunctions(n) {
    return "return " + repeat("(function() { return ", n) + "\"innermost\"" + repeat("; })()", n) + ";";
}
foreach (n in [700, 60000]) {
    attempt(n + " parentheses", "return " + repeat("(", n) + "1" + repeat(")", n) + ";");
    attempt(n + " blocks", "local x = 0;" + repeat("{ x++;", n) + repeat("}", n) + " return x;");
    attempt(n + " assignments", "local x = 0, y; y" + repeat(" = x", n) + " = 7; return x + y;");
    attempt(n + " unary minus", "return " + repeat("- ", n) + "1;");
    attempt(n + " conditions", "local x = 1; return " + repeat("x ? ", n) + "2" + repeat(" : 0", n) + ";");
}
attempt("800 else-if branches", elseIfChain(800));
attempt("520 nested functions", nestedFunctions(520));
attempt("60000 nested functions", nestedFunctions(60000));

// Re-entering the interpreter from native code is limited to 100 nested entries per
// thread, and a new thread starts at zero. Each thread reports its error as it unwinds;
// the handler keeps that quiet.
seterrorhandler(function(e) {});
function nest(n, f) { return n == 0 ? f() : nest.call(this, n - 1, f); }
function tryRun(what, f) {
    try {
        print(what + ": " + f() + "\n");
    } catch (e) {
        print(what + ": " + e + "\n");
    }
}
tryRun("45 + 45 through a thread", @() nest(45, @() newthread(@() nest(45, @() "ok")).call()));
tryRun("60 in one thread", @() nest(60, @() "ok"));

// Endless recursion through natives ends in a catchable error, however it recurses, and so
// does a get down a delegate chain as long as a script cares to make it.
function viaCall() { return viaCall.call(this); }
function viaThread() { return newthread(viaThread).call(); }
function viaSort() { [2, 1].sort(@(a, b) viaSort()); }
class Meta { function _get(k) { return this[k + "x"]; } }
function viaMetamethod() { return Meta().key; }
local chain = {};
function viaDelegates() {
    local t = chain;
    for (local i = 0; i < 200000; i++) { local d = {}; t.setdelegate(d); t = d; }
    return chain.missing;
}
foreach (name, f in {call = viaCall, thread = viaThread, sort = viaSort, metamethod = viaMetamethod,
                     delegates = viaDelegates})
    tryRun(name, f);

// A native that calls back once per item counts the same at every call, however many
// calls it makes: each level of nesting below takes two of the 100 entries (the native
// and the callback it runs), whichever native it goes through.
local reached = {};
function nestThrough(name, f, depth) {
    if (!(name in reached) || depth > reached[name]) reached[name] <- depth;
    f(@() nestThrough(name, f, depth + 1));
}
local natives = {
    sort = @(next) [2, 1, 3].sort(function(a, b) { next(); return a <=> b; }),
    map = @(next) [1, 2].map(function(x) { next(); return x; }),
    apply = @(next) [1, 2].apply(function(x) { next(); return x; }),
    filter = @(next) [1, 2].filter(function(i, x) { next(); return true; }),
    reduce = @(next) [1, 2, 3].reduce(function(a, b) { next(); return a + b; }),
};
local depths = [];
foreach (name, f in natives) {
    try { nestThrough(name, f, 0); } catch (e) { depths.append(name + " " + reached[name] + " " + e); }
}
depths.sort();
foreach (d in depths) print(d + "\n");
