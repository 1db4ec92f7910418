// Operators with a constant right operand (compiled to their constant forms) behave like
// the register forms: every kind, every error.
local values = [0, 5, -7, 0x7FFFFFFF, 2.5, "b", null, true];
local ops = [
    ["&", @(x) x & 6, @(x, y) x & y],
    ["|", @(x) x | 0x100, @(x, y) x | y],
    ["^", @(x) x ^ 0xFF, @(x, y) x ^ y],
    ["<<", @(x) x << 33, @(x, y) x << y],
    [">>", @(x) x >> 1, @(x, y) x >> y],
    [">>>", @(x) x >>> 28, @(x, y) x >>> y],
    ["< 1000", @(x) x < 1000, @(x, y) x < y],
    ["<= 2.5", @(x) x <= 2.5, @(x, y) x <= y],
    ["> \"a\"", @(x) x > "a", @(x, y) x > y],
    [">= -200", @(x) x >= -200, @(x, y) x >= y],
];
local rhs = [6, 0x100, 0xFF, 33, 1, 28, 1000, 2.5, "a", -200];
function show(f, x) {
    try {
        return f(x);
    } catch (e) {
        return "error: " + e;
    }
}
foreach (n, op in ops) {
    local line = op[0] + ":";
    foreach (x in values) {
        local viaConst = show(op[1], x);
        local viaReg = show(@(v) op[2](v, rhs[n]), x);
        line += " " + viaConst;
        if (viaConst != viaReg) line += " (register form: " + viaReg + ")";
    }
    print(line + "\n");
}
// Conditions on constants jump the right way, in loops too.
local count = 0;
for (local i = 0; i < 100000; i++) if (i >= 99990 && i <= 99995.5 && !(i > 99994)) count++;
local w = 0;
while (w < 1000.5) w += 7;
print(count + " " + w + "\n");
