// Loop conditions run before every iteration, including the first, with their side
// effects, whatever the body does with break and continue.
local log = [];
function check(tag, v) { log.append(tag + v); return v; }
function flush(title) { print(title + ": " + log.reduce(@(a, b) a + " " + b) + "\n"); log.clear(); }

local i = 0;
while (check("w", i) < 3) i++;
flush("while");

i = 10;
while (check("never", i) < 3) i++;
flush("while, false at once");

for (local j = 0; check("f", j) < 4; j++) {
    if (j == 1) continue;
    log.append("body" + j);
}
flush("for with continue");

for (local j = 0; j < 10; check("s", j++)) if (check("b", j) == 2) break;
flush("for with break");

local n = 0;
while (n++ < 3) log.append("n" + n);
flush("side effect in the condition");

local k = 5;
while (k) log.append("k" + k--);
flush("truthiness");

local t = { left = 3 };
while (t.left > 0 && check("and", t.left)) t.left--;
flush("compound condition");

local fns = [];
for (local j = 0; j < 3; j++) fns.append(@() j);
foreach (f in fns) log.append("c" + f());
flush("closures over the loop variable");

local s = "";
for (local c = 'a'; c <= 'e'; c += 2) s += c.tochar();
local x = 0.5;
while (x < 4.0) x *= 2;
print(s + " " + x + "\n");

local total = 0;
for (local a = 0; a < 3; a++)
    for (local b = a; b < 3; b++) total += a * 10 + b;
print(total + "\n");

// Counting loops (step by a constant, test with <) against every kind of limit.
local seen = [];
for (local a = 0; a < 5; a++) { if (a == 2) continue; seen.append(a); }
for (local a = 0; a < 300; a += 100) seen.append(a);
local lim = 3;
for (local a = -2; a < lim; a++) seen.append(a);
for (local a = 0; a < 2.5; a++) seen.append(a);
for (local a = 0.25; a < 2; a++) seen.append(a);
for (local a = 0; a < 10; a++) { seen.append(a); a += 3; }
for (local a = 0; a < lim; a++) { seen.append(a); lim = 2; }
for (local a = 2147483645; a < 2147483647; a++) seen.append(a);
for (local a = 0; a < 100000; a--) { seen.append(a); if (a < -2) break; }
print(seen.reduce(@(x, y) x + " " + y) + "\n");
local limit = 3;
try {
    for (local a = 0; a < limit; a++) if (a == 1) limit = "x";
} catch (e) {
    print(e + "\n");
}
try {
    local z = null;
    for (local a = 0; a < 3; a++) if (a == 1) { a = z; }
} catch (e) {
    print(e + "\n");
}
