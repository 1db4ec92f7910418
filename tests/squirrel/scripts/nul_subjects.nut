// split, lstrip and the regexp functions read their subject as C text: it ends at the first
// NUL byte (for search and capture, the first NUL from the start index on). strip and
// rstrip keep the whole string.
local function one(v) {
    if (v == null) return "null"
    if (typeof v == "string") return "\"" + escape(v) + "\""
    if (typeof v == "table") return v.begin + "-" + v.end
    return "" + v
}
local function show(v) {
    if (typeof v != "array") return one(v)
    local out = "["
    foreach (i, x in v) out += (i ? " " : "") + one(x)
    return out + "]"
}

// Past the first stretch of text scanned for a NUL, and past the one after it.
local far = "", farther = ""
for (local i = 0; i < 300; i++) far += "a"
for (local i = 0; i < 1000; i++) farther += "a"

foreach (c in [
    ["split a\\0b,c", @() split("a\x00b,c", ",")],
    ["split a,b\\0,c", @() split("a,b\x00,c", ",")],
    ["split \\0a,b", @() split("\x00a,b", ",")],
    ["split a,\\0", @() split("a,\x00", ",")],
    ["split on NUL", @() split("a\x00b", "\x00")],
    ["lstrip", @() lstrip(" a\x00b")],
    ["lstrip spaces then NUL", @() lstrip("  \x00b")],
    ["strip", @() strip(" a\x00b ")],
    ["rstrip", @() rstrip("a\x00b ")],
    ["match a", @() regexp("a").match("a\x00b")],
    ["match a.b", @() regexp("a.b").match("a\x00b")],
    ["search b", @() regexp("b").search("a\x00b")],
    ["search b from past the NUL", @() regexp("b").search("a\x00b", 2)],
    ["search b$", @() regexp("b$").search("ab\x00c")],
    ["search \\D+", @() regexp("\\D+").search("ab\x00cd")],
    ["search b\\b", @() regexp("b\\b").search("ab\x00 c")],
    ["search .", @() regexp(".").search("\x00x")],
    ["search a$ far", @() regexp("a$").search(far + "\x00b")],
    ["search b far", @() regexp("b").search(far + "\x00b")],
    ["search a*$ farther", @() regexp("a*$").search(farther + "\x00a")],
    ["search [^b]+ farther", @() regexp("[^b]+").search(farther + "\x00b")],
    ["search balanced", @() regexp("\\m()").search("(" + far + "\x00)")],
    ["capture (\\w+) (.*)", @() regexp("(\\w+) (.*)").capture("ab cd\x00ef")],
    ["capture x", @() regexp("x").capture("\x00x")],
    ["capture from past the NUL", @() regexp("(b)").capture("a\x00b", 2)],
    ["search without NUL", @() regexp("b$").search("aab")],
]) print(c[0] + ": " + show(c[1]()) + "\n")
