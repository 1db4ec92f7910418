// Reads of constant keys (a field, a global function through `this`) stay right while
// the tables they read change shape: every read below goes through one instruction that
// has seen the key before, and must see the table as it is now.
function readTarget(t) { return t.target; }
function callTarget(t) { return t.target(); }

// Keys added one at a time move nodes around (a new key may take the node the read
// last found, and the node array is rebuilt as the table grows), then most go again.
local t = { target = "first" };
local wrong = 0;
for (local i = 0; i < 600; i++) {
    t["k" + i] <- i;
    if (readTarget(t) != (i <= 300 ? "first" : "second")) wrong++;
    if (i == 300) t.target = "second";
}
for (local i = 0; i < 600; i++) {
    delete t["k" + i];
    if (readTarget(t) != "second") wrong++;
}
print("wrong after growing and shrinking: " + wrong + "\n");

// Deleted, missing, then back; the same instruction on other tables in turn.
delete t.target;
try { readTarget(t); } catch (e) { print("deleted: " + e + "\n"); }
t.target <- "back";
local others = [{ target = 1 }, { x = 0, target = 2 }, t, { target = 3, y = 1 }];
local seen = [];
for (local round = 0; round < 2; round++)
    foreach (o in others) seen.append(readTarget(o));
print(seen.reduce(@(a, b) a + " " + b) + "\n");

// A cleared table, and a clone of a table the read saw.
local c = clone t;
t.clear();
try { readTarget(t); } catch (e) { print("cleared: " + e + "\n"); }
print(readTarget(c) + "\n");
t.target <- "after clear";
print(readTarget(t) + "\n");

// Methods called through a table, and a global function replaced or removed between
// calls of the same call site.
local m = { target = @() "method one" };
print(callTarget(m) + "\n");
m.target = @() "method two";
print(callTarget(m) + "\n");
function helper() { return "helper one"; }
function useHelper() { return helper(); }
print(useHelper() + "\n");
::helper <- function() { return "helper two"; };
print(useHelper() + "\n");
for (local i = 0; i < 200; i++) getroottable()["filler" + i] <- i;
print(useHelper() + "\n");
delete ::helper;
try { useHelper(); } catch (e) { print("removed: " + e + "\n"); }
::helper <- @() "helper three";
print(useHelper() + "\n");
for (local i = 0; i < 200; i++) delete getroottable()["filler" + i];
print(useHelper() + "\n");

// Instances: one read and one write of `v` meet classes that keep it in different
// slots (a field at another position, a method, a static), and a class that gains
// members between the reads.
class P { v = "p"; }
class Q { a = 0; b = 0; v = "q"; }
class S { function v() { return "s"; } }
class St { static v = "static"; }
function readV(o) { local x = o.v; return typeof x == "function" ? x() : x; }
function writeV(o, x) { o.v = x; return o.v; }
local insts = [P(), Q(), S(), St(), P()];
local got = [];
foreach (o in insts) got.append(readV(o));
print(got.reduce(@(a, b) a + " " + b) + "\n");
print(writeV(insts[0], "p2") + " " + writeV(insts[1], "q2") + " " + readV(insts[4]) + "\n");
try { writeV(insts[3], "no"); } catch (e) { print("static: " + e + "\n"); }
class Grows { v = 1; }
local g = Grows();
print(readV(g) + "\n");
for (local i = 0; i < 100; i++) Grows["m" + i] <- function() { return i; };
print(readV(g) + " " + writeV(g, 2) + " " + g.m99() + "\n");
