// Classes, inheritance, attributes, statics, locking and metamethods.
class Base {
  static count = 0;
  tag = "base";
  // Once instantiated, a class takes a new value for a static only when asked as one.
  constructor() { Base.newmember("count", Base.count + 1, null, true); }
  function _inherited(attrs) { print("inherited with " + (attrs == null ? "null" : attrs.k) + "\n"); }
  function who() { return "Base:" + tag; }
}
class Derived extends Base </ k = "v" /> {
  extra = 1;
  function who() { return "Derived(" + base.who() + ")"; }
}
local d = Derived();
print(d.who() + " " + Base.count + " " + Derived.count + "\n");
print(Derived.getattributes(null).k + "\n");
foreach (k, v in Derived) print(k + (typeof v == "function" ? "()" : "=" + v) + " ");
print("\n");
try { Base.newfield <- 1; } catch (e) { print(e + "\n"); }
Derived.newmethod <- function() { return "added"; };
print(d.newmethod() + "\n");
try { d.q <- 1 } catch (e) { print(e + "\n"); }
try { Base.tag = "x" } catch (e) { print(e + "\n"); }
class Dyn {
  data = null;
  constructor() { data = {}; }
  function _get(k) { if (k in data) return data[k]; throw null; }
  function _set(k, v) { data[k] <- v; }
  function _newslot(k, v) { data[k] <- v * 2; }
  function _delslot(k) { local r = data[k]; delete data[k]; return r; }
  function _call(env, a, b) { return a * b; }
  function _typeof() { return "dyn"; }
  function _nexti(prev) { local keys = ["a", "b"]; if (prev == null) return "a"; if (prev == "a") return "b"; return null; }
  function _cloned(orig) { print("cloned\n"); data = clone orig.data; }
}
local o = Dyn();
o.x <- 5;
print(o.x + "\n");
o.a = 1; o.b = 2;
print(o(6, 7) + " " + typeof o + "\n");
foreach (k, v in o) print(k + "=" + v + " ");
print("\n");
print((delete o.a) + " " + ("a" in o.data) + "\n");
try { print(o.zzz) } catch (e) { print(e + "\n"); }
local o2 = clone o; o2.data.b = 99; print(o.data.b + " " + o2.data.b + "\n");
class Pt { x = 0; constructor(a) { x = a; } function _cmp(o) { return x - o.x; } }
local pts = [Pt(3), Pt(1), Pt(2)]; pts.sort();
foreach (p in pts) print(p.x + " "); print("\n");
class NM { function _newmember(k, v, attrs, isstatic) { print("member " + k + " static=" + isstatic + "\n"); } }
class NM2 extends NM { a = 1; static b = 2; function c() {} }
print(("a" in NM2) + "\n");
local t = { _v = 1 };
local del = { function _get(k) { return "virt_" + k; } function _add(o) { return "added" } };
t.setdelegate(del);
print(t.foo + " " + t._v + " " + (t + 1) + "\n");
print(t.len() + " " + t.rawin("foo") + "\n");
class Attrs </ cls = "yes" /> {
    </ doc = "field" /> value = 1;
    </ doc = "method" /> function m() {}
    static S = "static";
}
print(Attrs.getattributes(null).cls + " " + Attrs.getattributes("value").doc + " " + Attrs.getattributes("m").doc + "\n");
print(Attrs.setattributes("value", { doc = "new" }).doc + " " + Attrs.getattributes("value").doc + "\n");
try { Attrs.getattributes("nope"); } catch (e) { print(e + "\n"); }
print(Attrs.S + " " + Attrs().S + " " + Attrs.rawget("S") + " " + Attrs.rawin("m") + " " + (Attrs.getbase() == null) + "\n");
try { Attrs().S = 1; } catch (e) { print(e + "\n"); }
local inst = Attrs.instance(); print(inst.value + " " + (inst.getclass() == Attrs) + "\n");
class Shared { list = []; }
local s1 = Shared(), s2 = Shared(); s1.list.append(1); print(s2.list.len() + "\n");
class WithCtorArgs { a = null; b = null; constructor(x, y = "dflt") { a = x; b = y; } }
local w = WithCtorArgs(1); print(w.a + " " + w.b + "\n");
try { WithCtorArgs(); } catch (e) { print(e + "\n"); }
class NoCtor { x = 1; }
print(NoCtor(1, 2, 3).x + "\n");
class Arith { v = 0; constructor(x) { v = x; }
    function _sub(o) { return Arith(v - o.v); } function _mul(o) { return Arith(v * o); }
    function _div(o) { return "div"; } function _modulo(o) { return "mod"; } function _unm() { return Arith(-v); } }
print((Arith(5) - Arith(2)).v + " " + (Arith(3) * 4).v + " " + (Arith(1) / 1) + " " + (Arith(1) % 1) + " " + (-Arith(7)).v + "\n");
class Cmp { v = 0; constructor(x) { v = x; } function _cmp(o) { return v == o.v ? 0 : (v < o.v ? -1 : 1); } }
print((Cmp(1) < Cmp(2)) + " " + (Cmp(2) <= Cmp(2)) + " " + (Cmp(3) > Cmp(2)) + " " + (Cmp(1) <=> Cmp(2)) + " " + (Cmp(1) == Cmp(1)) + "\n");
class BoolCmp { v = 0; constructor(x) { v = x; } function _cmp(o) { return v > o.v; } }
print((BoolCmp(2) > BoolCmp(1)) + " " + (BoolCmp(1) > BoolCmp(2)) + " " + (BoolCmp(1) <=> BoolCmp(2)) + "\n");
class BadCmp { function _cmp(o) { return "x"; } }
try { BadCmp() < BadCmp(); } catch (e) { print(e + "\n"); }
class Meta { function _get(k) { throw "no " + k; } }
try { Meta().q; } catch (e) { print(e + "\n"); }
print(typeof Meta + " " + typeof Meta() + " " + (Meta() instanceof Meta) + " " + ("_get" in Meta) + "\n");
class Counter { static instances = []; constructor() { Counter.instances.append(this); } }
Counter(); Counter(); print(Counter.instances.len() + "\n");
class Later {}
Later.method <- function() { return "later"; };
Later._tostring <- function() { return "Later!"; };
print(Later().method() + " " + Later() + "\n");
// newmember and rawnewmember return their attributes argument, null when none is given,
// also when a _newmember takes the member.
class D {}
foreach (r in [D.newmember("a", 1, "attrs"), D.rawnewmember("b", 2, "raw attrs"), D.newmember("c", 3),
               D.rawnewmember("d", 4), D.newmember("e", 5, "static attrs", true), D.e,
               NM.newmember("viaMeta", 1, "meta attrs")])
    print((r == null ? "null" : r) + " ");
print("\n");
