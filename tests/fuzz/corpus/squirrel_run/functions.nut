// Functions, closures, defaults, varargs and the function delegate.
function counter() { local n = 0; return function() { return ++n; }; }
local c1 = counter(), c2 = counter();
c1(); c1();
print(c1() + " " + c2() + "\n");
local fresh = [], shared = [];
for (local i = 0; i < 3; i++) { local j = i; fresh.append(@() j); shared.append(@() i); }
print(fresh[0]() + fresh[1]() + fresh[2]() + " " + shared[0]() + "\n");
local v = 1;
local get = @() v;
v = 2;
print(get() + "\n");
function defaults(a, b = 10, c = "c") { return a + "," + b + "," + c; }
print(defaults(1) + " " + defaults(1, 2) + " " + defaults(1, 2, 3) + "\n");
function rest(first, ...) { return first + ":" + vargv.len() + (vargv.len() ? ":" + vargv[0] : ""); }
print(rest(1) + " " + rest(1, "x", "y") + "\n");
foreach (f in [@() defaults(), @() rest(), @() counter(1)]) {
    try { f(); } catch (e) { print(e + "\n"); }
}
local function fact(n) { return n <= 1 ? 1 : n * ::fact2(n - 1); }
function fact2(n) { return n <= 1 ? 1 : n * fact2(n - 1); }
print(fact(10) + "\n");
function loop(n, acc) { if (n == 0) return acc; return loop(n - 1, acc + 1); }
print(loop(100000, 0) + "\n");
local obj = { name = "obj", function hello() { return "hello from " + name; } };
print(obj.hello() + " " + obj.hello.call({ name = "other" }) + "\n");
print(obj.hello.pcall({ name = "p" }) + " " + obj.hello.acall([{ name = "a" }]) + " " + obj.hello.pacall([{ name = "pa" }]) + "\n");
local env = { name = "bound" };
local bound = obj.hello.bindenv(env);
print(bound() + " " + bound.call({ name = "ignored" }) + "\n");
env = null;
try { bound(); } catch (e) { print("env gone: " + e + "\n"); }
local info = defaults.getinfos();
print(info.name + " " + info.native + " " + info.parameters.len() + " " + info.defparams[0] + " " + info.varargs + "\n");
local ninfo = print.getinfos();
print(ninfo.name + " " + ninfo.native + " " + ninfo.paramscheck + "\n");
print(rest.getinfos().parameters.top() + " " + (typeof callee()) + "\n");
function named() {}
print(named.getinfos().name + " " + (function() {}).getinfos().name + "\n");
function outer() { local x = 1; function inner() { return x; } x = 5; return inner(); }
print(outer() + "\n");
function swap(t) { local tmp = t[0]; t[0] = t[1]; t[1] = tmp; }
local arr = [1, 2]; swap(arr); print(arr[0] + " " + arr[1] + "\n");
local lam = @(a, b) a * b;
print(lam(6, 7) + "\n");
function a::b() {}
