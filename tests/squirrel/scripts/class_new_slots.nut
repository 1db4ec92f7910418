// A new slot on a class: a closure or native closure, or any value asked for as static,
// goes to the shared methods and statics; any other value is a field default. An
// instantiated class refuses every field value, also for a name that is a method or a
// static (it still takes closures and statics); a name that is a field takes any value as
// its default; before the first instance, a field value for a method or static name makes
// that name a field of its own.
//
// One line per name kind, lock state and way of adding; one cell per value: "field" or
// "shared" with what a new instance then reads, plus what an instance made before reads
// when the class was locked, or "refused" for the instantiated class's error.
local kinds = [
    ["none", @() class { other = 0 }],
    ["field", @() class { k = "old" }],
    ["method", @() class { function k() { return "old"; } }],
    ["static", @() class { static k = "old" }],
];
local ways = [
    ["<-", function(C, v) { C.k <- v; }],
    ["newmember", function(C, v) { C.newmember("k", v); }],
    ["newmember static", function(C, v) { C.newmember("k", v, null, true); }],
    ["rawnewmember", function(C, v) { C.rawnewmember("k", v); }],
];
local values = [function() { return "new"; }, type, 5, null, "str"];

function describe(x) {
    local t = typeof x;
    return t == "function" ? "fn" : t == "string" ? x : t == "null" ? "null" : x.tostring();
}
function fieldOrShared(inst) {
    try {
        inst.k = "set";
        return "field";
    } catch (e) {
        return "shared";
    }
}

foreach (kind in kinds) {
    foreach (locked in [false, true]) {
        foreach (way in ways) {
            local line = kind[0] + (locked ? " locked " : " open ") + way[0] + ":";
            foreach (v in values) {
                local C = kind[1]();
                local before = locked ? C() : null;
                try {
                    way[1](C, v);
                    local inst = C();
                    local read = "k" in inst ? describe(inst.k) : "-";
                    line += " " + fieldOrShared(inst) + "/" + read;
                    if (before) line += "/" + ("k" in before ? describe(before.k) : "-");
                } catch (e) {
                    line += " " + (e == "trying to modify a class that has already been instantiated" ? "refused" : "(" + e + ")");
                }
            }
            print(line + "\n");
        }
    }
}

// Field values refused and a closure taken on an instantiated class, and instances with
// their own copies of a name that was a static and one that was a method.
class C { function f() { return 1; } }
local c = C();
try { C.f <- null; print("allowed\n"); } catch (e) print(e + "\n");
try { C.g <- 5; print("allowed\n"); } catch (e) print(e + "\n");
try { C.h <- function() {}; print("allowed\n"); } catch (e) print(e + "\n");
try { C.f <- "str"; print("allowed\n"); } catch (e) print(e + "\n");
print(typeof c.f + "\n");
class D { static S = 1; function f() { return "m"; } }
D.S <- 2;
D.f <- 3;
local x = D(), y = D();
try { x.S = 10; print("x.S set\n"); } catch (e) print("x.S: " + e + "\n");
try { x.f = 20; print("x.f set\n"); } catch (e) print("x.f: " + e + "\n");
print(x.S + " " + y.S + " " + x.f + " " + y.f + "\n");

// A hot reload that tries to drop a method of a class with live instances is refused, and
// the instances keep working; replacing it with a closure is taken.
class Enemy { hp = 3; function tick() { return --hp; } }
local enemy = Enemy();
try { Enemy.tick <- null; } catch (e) print("reload: " + e + "\n");
print(enemy.tick() + "\n");
Enemy.tick <- function() { hp -= 2; return hp; };
print(enemy.tick() + "\n");

// Reads of a name before and after it became a field, through the class and through
// methods, see the new slot.
class E { function m() { return "method"; } function read() { return m; } }
print(typeof E.m + " ");
E.m <- "field";
local e1 = E(), e2 = E();
e1.m = "own";
print(E.m + " " + e1.read() + " " + e2.read() + " " + e2.m + "\n");

// A constructor that became a field no longer runs; a derived class's change leaves its
// base alone, and an instance of the derived class locks the base too.
class K { constructor() { print("constructor ran\n"); } }
K.constructor <- 0;
local k = K();
print(k.constructor + "\n");
class Base { function f() { return "base method"; } }
class Derived extends Base {}
Derived.f <- "derived field";
print(Derived().f + " / " + Base().f() + "\n");
class Base2 { function f() { return 1; } }
class Derived2 extends Base2 {}
Derived2();
try { Base2.f <- 2; } catch (err) print("base: " + err + "\n");
