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

// A content is one string however it was built, and strings that differ in one character
// stay two, whatever their length and wherever that character is (long strings are
// looked up by a hash of a sample of their bytes, then compared whole).
function repeated(c, n) { local s = ""; for (local i = 0; i < n; i++) s += c; return s; }
local mixups = [];
foreach (len in [1, 15, 16, 17, 31, 32, 33, 64, 100, 1000, 5000]) {
    local plain = repeated("x", len);
    local again = repeated("x", len - 1) + "x";
    local keyed = {};
    keyed[plain] <- len;
    foreach (at in [0, len / 2, 50, len - 1]) {
        if (at >= len) continue;
        local other = plain.slice(0, at) + "y" + plain.slice(at + 1);
        if (other == plain || (other in keyed)) mixups.append(len + "@" + at);
    }
    if (again != plain || keyed[again] != len) mixups.append(len + " built twice");
}
print("long strings mixed up: " + mixups.len() + (mixups.len() ? " " + mixups.reduce(@(a, b) a + " " + b) : "") + "\n");
