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

// `this.x` reads register 0 as a bare `x` does, so it falls back to the root table the same
// way: a read gives the global, a write updates an existing one (it never makes one). A
// copy of `this` in another variable does not fall back.
shared <- "root";
local holder = {
    bare = function() { return shared },
    explicit = function() { return this.shared },
    indexed = function() { return this["shared"] },
    copy = function() { local me = this; return me.shared },
    assignExplicit = function() { this.shared = "set through this"; return ::shared },
    assignMissing = function() { this.nowhere = 1 },
    assignCopy = function() { local me = this; me.shared = 1 },
};
foreach (name in ["bare", "explicit", "indexed", "copy", "assignExplicit", "assignMissing", "assignCopy"]) {
    try {
        print(name + ": " + holder[name]() + "\n");
    } catch (e) {
        print(name + ": " + e + "\n");
    }
}
print(shared + " " + ("shared" in holder) + " " + ("nowhere" in getroottable()) + "\n");
::x <- 1;
class WithField {
    y = 1;
    function sum() { return this.y + y }
    function set() { this.y = 5; return y }
    function global() { return this.x }
    function setGlobal() { this.x = 5; return ::x }
    function call() { return this.globalFn() }
}
function globalFn() { return "global function" }
print(WithField().sum() + " " + WithField().set() + " " + WithField().global() + " " + WithField().setGlobal() + " " +
      WithField().call() + "\n");
