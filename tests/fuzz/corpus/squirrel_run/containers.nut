// Tables, arrays and their default delegates. Tables iterate in insertion order here.
local t = { a = 1, b = "two", [3] = "three", "json key": 4 };
t.c <- [1, 2];
foreach (k, v in t) print(k + "=" + (typeof v == "array" ? "[" + v.len() + "]" : v) + " ");
print("\n" + t.len() + " " + t.rawget("a") + " " + t.rawin("zz") + " " + (delete t.a) + " " + t.len() + "\n");
t.rawset("d", 5); print(t.d + " " + t.rawdelete("d") + " " + t.rawdelete("nope") + "\n");
foreach (f in [@() t.rawget("zz"), @() t.rawset(null, 1), @() t.nothere, @() delete t.nothere, @() t[null] <- 1]) {
    try { f(); print("no error\n"); } catch (e) { print(e + "\n"); }
}
local keys = { [1] = "int", [1.0] = "float", [true] = "bool", ["1"] = "string" };
print(keys[1] + " " + keys[1.0] + " " + keys[true] + " " + keys["1"] + " " + keys.len() + "\n");
local proto = { greet = @() "hi " + this.name, function _get(k) { return "<" + k + ">"; } };
local child = { name = "kid" }.setdelegate(proto);
print(child.greet() + " " + child.missing + " " + (child.getdelegate() == proto) + " " + ("greet" in child) + "\n");
child.name = "changed"; print(child.name + "\n");
try { proto.setdelegate(child); } catch (e) { print(e + "\n"); }
local c = clone child; c.name = "clone"; print(child.name + " " + c.name + " " + c.greet() + "\n");
t.clear(); print(t.len() + "\n");

local a = [5, 3, 8];
a.append(1); a.push(9); a.extend([7, 7]); a.insert(0, 100);
print(a.len() + " " + a.top() + " " + a.pop() + " " + a.remove(0) + " " + a.find(8) + " " + a.find(42) + "\n");
a.sort(); foreach (x in a) print(x + " "); print("\n");
a.sort(@(x, y) y <=> x); foreach (x in a) print(x + " "); print("\n");
a.reverse(); print(a[0] + " " + a[a.len() - 1] + "\n");
print(a.slice(1, 3).len() + " " + a.slice(-2)[0] + " " + a.slice(0).len() + "\n");
print(a.map(@(x) x * 2)[0] + " " + a.filter(@(i, x) x > 5).len() + " " + a.reduce(@(acc, x) acc + x) + " " + [].reduce(@(a, b) a) + "\n");
local b = [1, 2, 3]; b.apply(@(x) x * 10); print(b[2] + "\n");
b.resize(5, "z"); print(b.len() + " " + b[4] + "\n"); b.resize(1); print(b.len() + "\n");
print(array(3).len() + " " + array(2, "x")[1] + " " + [1, 2, 3].tostring().slice(0, 7) + "\n");
local mixed = [3, 1.5, null, 2, -1]; mixed.sort(); foreach (x in mixed) print(x + ","); print("\n");
foreach (f in [@() a[100], @() a["x"] = 1, @() [].pop(), @() [].top(), @() [1].remove(1), @() [1].insert(3, 0),
               @() [3, 2].sort(@(x, y) "bad"), @() [3, 2].sort(@(x, y) x > y), @() [1].resize(-1), @() [1, {}].sort(),
               @() a.slice(3, 1), @() a.slice(0, 100), @() [].extend({}), @() array(-1)]) {
    try { f(); print("no error\n"); } catch (e) { print(e + "\n"); }
}
local nested = [[1, 2], [3, [4, 5]]];
print(nested[1][1][0] + "\n");
