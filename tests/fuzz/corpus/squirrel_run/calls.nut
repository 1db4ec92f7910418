// Call depth limits, name resolution through this and the root table, nested names.
function f(n) { return [n].map(@(x) f(x + 1)); }
try { f(0); } catch (e) { print(e + "\n"); }
function g(n) { return 1 + g(n + 1); }
try { g(0); } catch (e) { print(e + "\n"); }
local function h() { return typeof h; }
try { print(h() + "\n"); } catch (e) { print(e + "\n"); }
::glob <- 1;
function setit() { glob = 2; }
setit(); print(glob + "\n");
local root2 = { print = print };
local fn = function() { return ::marker; };
::marker <- "orig";
fn.setroot(root2);
try { fn(); } catch (e) { print(e + "\n"); }
root2.marker <- "alt";
print(fn() + " " + (fn.getroot() == root2) + "\n");
class WithGet { function _get(k) { return "virtual " + k; } function test() { return foo; } }
print(WithGet().test() + "\n");
local d1 = { shared = 1 };
local t = {}.setdelegate(d1);
t.shared = 5;
print(d1.shared + " " + t.rawin("shared") + "\n");
local ns = { function _newslot(k, v) { print("newslot " + k + "\n"); } };
local t2 = {}.setdelegate(ns);
t2.x <- 1; print(("x" in t2) + "\n");
::a <- { b = {} };
function a::b::c() { return "deep"; }
print(a.b.c() + "\n");
class a.b.K { function m() { return "nested class"; } }
print(a.b.K().m() + "\n");
function rec(n) { if (n == 0) return 0; return rec(n - 1); }
print(rec(50000) + "\n");

// Only bare names fall back to the root table; an explicit `this.x` does not.
shared <- "root";
local holder = {
    bare = function() { return shared },
    explicit = function() { return this.shared },
    assignExplicit = function() { this.shared = 1 },
    assignBare = function() { shared = "set through a bare name" },
};
print(holder.bare() + "\n");
foreach (name in ["explicit", "assignExplicit"]) {
    try {
        holder[name]();
    } catch (e) {
        print(e + "\n");
    }
}
holder.assignBare();
print(shared + " " + ("shared" in holder) + "\n");
class WithField {
    y = 1;
    function sum() { return this.y + y }
    function set() { this.y = 5; return y }
    function global() { return this.shared }
}
print(WithField().sum() + " " + WithField().set() + "\n");
try {
    WithField().global();
} catch (e) {
    print(e + "\n");
}
