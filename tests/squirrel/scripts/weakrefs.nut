// Weak references and the cycle collector.
local obj = {};
local w = obj.weakref();
print(typeof w + " " + (w.ref() == obj) + " " + (obj.weakref() == w) + " " + typeof w.weakref() + "\n");
obj = null;
print((w.ref() == null) + "\n");
print((5).weakref() + " " + (1.5).weakref() + " " + true.weakref() + " " + typeof "s".weakref() + "\n");
local keep = [1];
local holder = { r = keep.weakref(), gone = [2].weakref() };
print(typeof holder.r + " " + holder.r.len() + " " + holder.gone + "\n");
local arr = [keep.weakref()];
print(typeof arr[0] + "\n");
foreach (v in [keep.weakref()]) print(typeof v + "\n");
class K { f = null; }
local k = K(); k.f = keep.weakref(); print(typeof k.f + "\n");
function cycle() { local a = {}; local b = { a = a }; a.b <- b; }
cycle(); cycle();
print((collectgarbage() >= 4) + " " + collectgarbage() + "\n");
// Registers keep their last values until reused, so a few freshly dropped objects may
// still be reachable: check that the bulk of the unreachable cycles goes.
class Node { next = null; }
function makeRing() { local n1 = Node(), n2 = Node(); n1.next = n2; n2.next = n1; return n1.weakref(); }
local rings = [];
for (local i = 0; i < 10; i++) rings.append(makeRing());
function countAlive(list) { local n = 0; foreach (node in list) if (node != null) n++; return n; }
local alive = countAlive(rings);
collectgarbage();
print(alive + " " + (countAlive(rings) <= 1) + "\n");
function makeSelfRef() { local t = {}; t.me <- t; }
for (local i = 0; i < 5; i++) makeSelfRef();
function countUnreachable() { local found = resurrectunreachable(); return found == null ? 0 : found.len(); }
print((countUnreachable() >= 4) + " " + (collectgarbage() >= 4) + "\n");
local big = null;
for (local i = 0; i < 100000; i++) big = { next = big };
big = null;
print("long chain freed\n");
// A returning call clears every slot of its frame: what only its locals or arguments held
// is released at once.
class Obj {}
local owner = { obj = Obj() };
local seen = owner.obj.weakref();
function dropOwner(h) { local o = h.obj; delete h.obj; return 0; }
dropOwner(owner);
local argument = null;
function takeArgument(o) { argument = o.weakref(); return 0; }
takeArgument(Obj());
print((seen.ref() == null) + " " + (argument.ref() == null) + "\n");
