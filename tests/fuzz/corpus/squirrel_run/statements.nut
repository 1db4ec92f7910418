// Control flow, scoping, const and enum.
for (local i = 0; i < 10; i++) { if (i == 2) continue; if (i == 5) break; print(i); }
print("\n");
local n = 0;
while (true) { if (++n > 3) break; }
do { n--; } while (n > 0)
print(n + "\n");
foreach (i, c in "ab") print(i + ":" + c + " ");
foreach (v in [3, 4]) print(v + " ");
print("\n");
function kind(x) {
    switch (typeof x) {
    case "integer":
    case "float": return "number";
    case "string": return "text";
    default: return "other";
    }
}
print(kind(1) + " " + kind(1.5) + " " + kind("s") + " " + kind(null) + "\n");
function fall(x) { local out = ""; switch (x) { case 1: out += "one "; case 2: out += "two "; break; case 3: out += "three "; } return out; }
print(fall(1) + "|" + fall(2) + "|" + fall(3) + "|" + fall(4) + "|\n");
switch (1.0) { case 1: print("int case matches float\n"); }
local x = 1;
{ local x = 2; print(x + " "); }
print(x + "\n");
for (local i = 0, j = 10; i < j; i += 3, j -= 3) print(i + "," + j + " ");
print("\n");
const ANSWER = 42;
const NEG = -1.5;
const NAME = "squirrel";
enum Color { red, green = 10, blue = "b", alpha }
print(ANSWER + " " + NEG + " " + NAME + " " + Color.red + " " + Color.green + " " + Color.blue + " " + Color.alpha + "\n");
local ct = getconsttable();
print(ct.ANSWER + " " + ct.Color.green + " " + ("ANSWER" in getroottable()) + "\n");
::ANSWER <- "global";
print(ANSWER + " " + ::ANSWER + "\n");
local r = 0;
for (;;) { r++; if (r > 2) break; }
print(r + "\n");
local a = 0, b = 0;
if (a == 0) if (b == 1) print("no\n"); else print("dangling else binds inner\n");
print((a = 5, b = a + 1) + " " + a + "\n");
try { throw "plain"; } catch (e) { print("caught " + e + "\n"); }
try { throw { code = 7 }; } catch (e) { print("caught table " + e.code + "\n"); }
try { throw null; } catch (e) { print("caught " + e + "\n"); }
try { try { throw 1; } catch (e) { throw e + 1; } } catch (e) { print("rethrown " + e + "\n"); }
function early() { for (local i = 0; i < 5; i++) { try { if (i == 2) return i; } catch (e) {} } return -1; }
print(early() + "\n");
local count = 0;
foreach (i in [1, 2, 3]) { try { if (i == 2) continue; count += i; } catch (e) {} }
print(count + "\n");
