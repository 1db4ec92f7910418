// Numbers as text: tostring(), and joined to strings on either side with + and +=. The
// edges of the integer range, each change of digit count, the sign and float forms.
local cases = [0, 1, -1, 9, 10, -10, 99, 100, 999999999, 1000000000, -1000000000, 2147483647, -2147483647,
               -2147483647 - 1, 0.5, -0.0, 0.1, 1e20, -3.25e-7, 123456.789, 1.0 / 0.0, -1.0 / 0.0];
foreach (v in cases) {
    local s = "<";
    s += v;
    print(v.tostring() + " " + ("k" + v) + " " + (v + "k") + " " + s + " " + (v + "").len() + "\n");
}
// The same text as a key: made by a join, found by tostring() and by a literal.
local t = {};
for (local i = -3; i < 3; i++) t["key" + i] <- i;
print(t["key" + (-3)] + " " + t["key-3"] + " " + t["key" + (2).tostring()] + " " + ("key" + -1 in t) + "\n");
