// Library and language details scripts rely on, one group per rule.
local dir = getenv("SQ_TEST_TMP")
local function attempt(f) {
    try { return "" + f(); } catch (e) { return "error: " + e; }
}

// blob: growing by resize only makes room; shrinking truncates. Only numbers index a blob.
local b = blob(2)
b[0] = 1; b[1] = 2
b.resize(10)
print(b.len() + " " + b.tell() + "\n")
b.seek(0, 'e')
b.writen(3, 'b')
print(b.len() + " " + b[2] + "\n")
b.resize(1)
print(b.len() + " " + b.tell() + " " + b[0] + " " + b[0.9] + "\n")
foreach (name in ["tostring", "getclass", "weakref", "nothere"])
    print(name + ": " + attempt(@() b[name]) + "\n")
print(typeof b + " " + b.len() + "\n")

// swap2 keeps the sign-extended high part: the result is not masked to 16 bits.
foreach (x in [0x1234, 0x8000, 0xFFFF, -1, 0x7FFF, 0x12345678, 0])
    print(swap2(x) + " ")
print("\n")

// String conversions saturate at the 32-bit limits; base 0 reads the prefix; other bases
// outside 2..36 give 0.
foreach (s in ["99999999999", "-99999999999", "2147483647", "2147483648", "-2147483649", " 42", "12abc"])
    print(s.tointeger() + " ")
print("\n")
print("99999999999".tofloat() + " " + "-99999999999".tofloat() + " " + "1.5e3".tofloat() + "\n")
print("ffffffff".tointeger(16) + " " + "-ffffffff".tointeger(16) + " " + "7fffffff".tointeger(16) + " " +
      "z".tointeger(36) + " " + "101".tointeger(2) + "\n")
print("0x1A".tointeger(0) + " " + "010".tointeger(0) + " " + "42".tointeger(0) + "\n")
foreach (radix in [1, 37, -5, 100])
    print("12".tointeger(radix) + " ")
print("\n")
print(attempt(@() "abc".tointeger()) + " | " + attempt(@() "".tofloat()) + "\n")

// null in a concatenation prints as C's null pointer does.
print("x" + null + " " + (null + "y") + "\n")

// getinfos().varargs is 0 or 1.
local fi = (function(a, ...) {}).getinfos(), gi = (function(a) {}).getinfos()
print(typeof fi.varargs + " " + fi.varargs + " " + gi.varargs + "\n")

// file.eos(): true once the position reaches the length, and on a new empty file.
local path = dir + "/eos.bin"
local f = file(path, "wb+")
print("empty " + (f.eos() != null) + "\n")
f.writen(7, 'b')
f.writen(8, 'b')
print("after writes " + (f.eos() != null) + "\n")
f.seek(0)
print("start " + (f.eos() != null))
f.readn('b')
print(" middle " + (f.eos() != null))
f.readn('b')
print(" end " + (f.eos() != null) + "\n")
f.close()

// writeclosuretofile: natives are refused with the type error; defaults are dropped.
print(attempt(@() writeclosuretofile(dir + "/n.cnut", print)) + " " + attempt(@() file(dir + "/n.cnut", "r")) + "\n")
writeclosuretofile(path, function(a, b = 5) { return [a, b] })
local loaded = loadfile(path)(1)
print(loaded[0] + " " + loaded[1] + "\n")
remove(path)

// rawset on a class that has instances: new fields are dropped quietly, methods still go in.
class Locked { x = 1 }
local inst = Locked()
Locked.rawset("y", 2)
Locked.rawset("x", 5)
Locked.rawset("m", function() { return "m" })
print(("y" in Locked) + " " + Locked.x + " " + inst.m() + "\n")
print(attempt(function() { Locked.z <- 3 }) + "\n")

// Compile errors: a brace left open, `constructor` as a table key.
foreach (src in ["{", "function f() {", "if (1) { local a = 1;", "switch (1) { case 1:", "local t = {",
                 "local t = { constructor = 1 }", "local t = { [1] = 2"])
    print(attempt(@() compilestring(src)) + "\n")
local withCtor = compilestring("return { constructor() { return 7 } }")()
print(withCtor.constructor() + "\n")

// A '.' after an exponent belongs to the number.
foreach (src in ["return 1e5.q", "return 1e3.", "return 1.5e2.5", "return [1e20.tostring()].len()", "return 2e2"])
    print(attempt(@() compilestring(src)()) + "\n")

// String ordering stops at the first NUL, like strcmp; equality does not.
local s1 = "a\x00b", s2 = "a\x00c"
print((s1 < s2) + " " + (s1 > s2) + " " + (s1 <=> s2) + " " + (s1 == s2) + " " + ("ab" < "abc") + " " +
      ("b" > "abc") + " " + ("\xe9" > "e") + "\n")
local sorted = ["b", "a\x00z", "a", "a\x00b"]
sorted.sort()
foreach (s in sorted) print(s.len() + " ")
print("\n")

// escape() prints high bytes as sign-extended 32-bit hex.
print(escape("caf\xe9 \x80\x7f\n\"") + "\n")

// clock() ignores arguments.
print(typeof clock() + " " + typeof clock(1, "two", null) + "\n")

// The debug hook: no line event for a function's header, the call event at its first
// statement, and falling off the end reports the closing brace (the main chunk: its end).
local events = []
setdebughook(function(type, src, line, name) {
    if (src == "traced") events.append(type.tochar() + line + (typeof name == "string" && name != "main" ? name : ""))
})
enabledebuginfo(true)
compilestring(@"local a = 1;
function allman(x)
{
    local y = x + 1;
    return y;
}
function knr() {
    local z = 1;
    z++;
}
function one() { return 1; }
allman(1);
knr();
one();
local q = [1, 2].map(@(v) v * 2);
", "traced")()
setdebughook(null)
enabledebuginfo(false)
foreach (e in events) print(e + " ")
print("\n")

// Every exponent makes a float, a second one too; the value is what strtod reads of the
// literal, which stops before the second. A literal ending in a bare `e` is an error.
foreach (src in ["return 1e5e5", "return 1.5e2e3", "return 2E1e-3", "return 3e2E+9.5", "return 7e1e", "return 7e1e+"])
    print(attempt(@() compilestring(src)()) + "\n")
