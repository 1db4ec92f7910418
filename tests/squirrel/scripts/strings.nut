// The string default delegate.
local s = "Hello, World";
print(s.len() + " " + s.tolower() + " " + s.toupper() + " " + s.toupper(0, 1) + s.tolower(1, 5) + "\n");
print(s.slice(0, 5) + "|" + s.slice(7) + "|" + s.slice(-5) + "|" + s.slice(-5, -1) + "|" + s.slice(2, 2) + "|\n");
print(s.find("o") + " " + s.find("o", 5) + " " + s.find("xyz") + " " + s.find("H", -1) + " " + s.find("d", 11) + "\n");
print("42".tointeger() + 1 + " " + "ff".tointeger(16) + " " + "777".tointeger(8) + " " + "-12abc".tointeger() + " " +
      "3.9".tointeger() + " " + "1e3".tointeger() + " " + "  7".tointeger() + " " + "10".tointeger(2) + "\n");
print("2.5".tofloat() + " " + "1e2".tofloat() + " " + "12".tofloat() + " " + "x1".tostring() + "\n");
print(s[0] + " " + s[-1] + " " + "é"[0] + " " + (65).tochar() + (1.5).tochar() + "\n");
foreach (i, c in "hey") print(i + ":" + c.tochar() + " ");
print("\n");
print(("a" + "b" == "ab") + " " + ("abc" > "abd") + " " + (("a" <=> "b") < 0) + " " + ("" < "a") + "\n");
foreach (f in [@() "abc".slice(2, 1), @() "abc".slice(0, 4), @() "abc".slice(-4), @() "x".tointeger(), @() "".tofloat(),
               @() "abc"[3], @() "abc".toupper(2, 1), @() "a".find(), @() "a".slice("x")]) {
    try { print(f() + "\n"); } catch (e) { print(e + "\n"); }
}
local big = "";
for (local i = 0; i < 100; i++) big += i % 10;
print(big.len() + " " + big.slice(95) + "\n");
