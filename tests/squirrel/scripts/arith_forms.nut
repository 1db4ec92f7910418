// Arithmetic between an integer and a float, and between floats, in every form the
// compiler has for it: two registers, a constant or small-integer right operand, and the
// compound assignment. Each form must give what the two-register form gives; the line
// shows that result.
local ops = ["+", "-", "*", "/", "%"];
local cases = [
    ["3", "0.5"], ["0.5", "3"], ["-7", "2.5"], ["7.5", "-2"], ["2147483647", "1.0"],
    ["16777217", "0.0"], ["1.5", "0"], ["0", "-0.0"], ["-0.0", "0"], ["1e30", "100"],
    ["nan", "2"], ["2", "nan"], ["1.25", "0.75"], ["-3.5", "1"], ["100", "-8"],
];
local nan = -(0.0 / 0.0);
function value(x) { return x == "nan" ? "n" : x; }
function run(code, a, b) {
    try {
        return compilestring("local n = vargv[0]; local a = " + value(a) + ", b = " + value(b) + ";" + code)(nan);
    } catch (e) {
        return "error: " + e;
    }
}
function show(r) { return typeof r == "float" ? format("%.9g", r) : r + ""; }
foreach (c in cases) {
    local line = c[0] + " ? " + c[1] + ":";
    foreach (op in ops) {
        local r = show(run("return a " + op + " b;", c[0], c[1]));
        local forms = [run("return a " + op + " " + value(c[1]) + ";", c[0], c[1]),
                       run("local x = a; x " + op + "= b; return x;", c[0], c[1])];
        foreach (f in forms)
            if (show(f) != r) line += " [" + op + " differs between forms: " + show(f) + "]";
        line += " " + op + " " + r;
    }
    print(line + "\n");
}
// Small integers and floats plus a small integer, as immediates.
foreach (x in [0.5, -0.0, 1e30, nan, 16777216.0, 3]) print(show(x + 1) + " " + show(x + -128) + " " + show(x - 1) + "\n");
