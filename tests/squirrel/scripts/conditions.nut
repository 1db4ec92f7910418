// `&&` and `||` deciding a branch: an if, a while, a for, a do-while or a `?:` takes the
// branch the value of the same expression would choose, evaluating the same operands in
// the same order. Each operand is a call that logs its letter and returns its value.
local values = [true, false, null, 0, 1, "", "s", 0.0, [], 2.5];
local shapes = ["a && b", "a || b", "a && b && c", "a || b || c", "a && b || c", "a || b && c", "(a && b) || c",
                "a && (b || c)", "!a && b", "a && !b || !c", "a < b && c", "a || b > c", "a == b || b != c && a"];
function v(name, x) { return function() { ::log_ += name; return x; }; }
::log_ <- "";
function run(src, a, b, c) {
    ::log_ = "";
    local r = compilestring("local a = vargv[0], b = vargv[1], c = vargv[2];" + src)(a, b, c);
    return r + " " + ::log_;
}
local forms = {
    value = @(e) "local x = " + e + "; return x ? \"T\" : \"F\";",
    ifelse = @(e) "if (" + e + ") return \"T\"; else return \"F\";",
    loop = @(e) "while (" + e + ") return \"T\"; return \"F\";",
    counted = @(e) "for (local i = 0; " + e + "; i++) return \"T\"; return \"F\";",
    bottom = @(e) "local n = 0; do { if (n++) return \"T\"; } while (" + e + "); return \"F\";",
    ternary = @(e) "return (" + e + ") ? \"T\" : \"F\";",
    comma = @(e) "local r = \"F\"; if ((r = \"x\", " + e + ")) r = \"T\"; else r = \"F\"; return r;",
};
local order = ["value", "ifelse", "loop", "counted", "bottom", "ternary", "comma"];
local bad = 0, runs = 0;
foreach (shape in shapes) {
    // Operands as calls, so that evaluation order shows; comparisons on plain values.
    local calls = "";
    foreach (ch in shape) calls += ch >= 'a' && ch <= 'c' ? ch.tochar() + "()" : ch.tochar();
    foreach (ia, a in values) foreach (ib, b in values) foreach (ic, c in [true, false, null]) {
        if ((ia + ib * 3 + ic) % 4 != 0) continue; // a spread of the combinations
        local args = [v("a", a), v("b", b), v("c", c)];
        local cmpShape = shape.find("<") != null || shape.find(">") != null || shape.find("=") != null;
        local src = cmpShape ? shape : calls;
        local ref = null;
        foreach (name in order) {
            local out;
            try {
                out = cmpShape ? run(forms[name](src), a, b, c) : run(forms[name](src), args[0], args[1], args[2]);
            } catch (e) {
                out = "error " + e;
            }
            runs++;
            if (ref == null) ref = out;
            else if (out != ref) {
                bad++;
                print(shape + " with " + a + ", " + b + ", " + c + ": " + name + " gives " + out + ", value gives " + ref + "\n");
            }
        }
    }
}
print("forms disagreeing: " + bad + " of " + runs + "\n");
