// Ordering numbers. An integer meets a float exactly, as mathematical values; two floats
// are ordered by a three-way compare that gives 0 only for identical bits, -1 when a < b
// and 1 otherwise. Each operator runs in every form the compiler has for it: the value of
// a comparison, a jump on one, and constant and small-integer right operands.
local ops = ["<", "<=", ">", ">=", "==", "!=", "<=>"];
local cases = [
    ["2147483647", "2147483647.0"],
    ["2147483647.0", "2147483647"],
    ["16777217", "16777216.0"],
    ["16777216.0", "16777217"],
    ["-2147483648", "-2147483648.0"],
    ["3", "3.0"],
    ["-0.0", "0.0"],
    ["0.0", "-0.0"],
    ["0.0", "0.0"],
    ["nan", "1.0"],
    ["1.0", "nan"],
    ["nan", "nan"],
    ["nan", "5"],
    ["5", "nan"],
    ["1.5", "2.5"],
];
// nan is a float made at run time; the literal forms below need a constant in its place.
local nan = -(0.0 / 0.0);
function value(x) { return x == "nan" ? "n" : x; }
function form(code, a, b) {
    return compilestring("local n = vargv[0]; local a = " + value(a) + ", b = " + value(b) + ";" + code)(nan);
}
foreach (c in cases) {
    local line = c[0] + " ? " + c[1] + ":";
    foreach (op in ops) {
        local r = form("return a " + op + " b;", c[0], c[1]);
        local forms = [
            form("if (a " + op + " b) return true; return false;", c[0], c[1]),
            form("return a " + op + " " + value(c[1]) + ";", c[0], c[1]),
            form("local r = false; while (a " + op + " " + value(c[1]) + ") { r = true; break; } return r;", c[0], c[1]),
        ];
        foreach (f in forms)
            if (op != "<=>" && f != r) line += " [" + op + " differs between forms]";
        line += " " + op + (typeof r == "bool" ? (r ? "T" : "F") : r);
    }
    print(line + "\n");
}
// Small integers compile to immediate operands.
local big = 16777217.0;
print((big > 16777216) + " " + (2147483647.0 > 2147483647) + " " + (-0.0 < 0) + " " + (0 < -0.0) + " " + (nan > 7) +
      " " + (nan < 7) + "\n");
// A float loop counter against an integer limit, and sort with NaN and signed zeros.
local steps = 0;
for (local f = 16777215.0; f < 16777217; f += 2) steps++;
print("steps " + steps + "\n");
local sorted = [2, 1.5, -0.0, 0.0, 1];
sorted.sort();
local out = "";
foreach (x in sorted) out += x + " ";
print(out + "\n");
