// The string library's functions (regexp has its own script).
print(format("%s %d 0x%02X", "n", 123, 10) + "\n")
local cases = [
    ["[%5d] [%-5d] [%05d] [%+d] [% d] [%i]", [42, 42, 42, 42, 42, -7]],
    ["[%o] [%#o] [%x] [%#x] [%X] [%#X] [%u]", [8, 8, 255, 255, 255, 255, -1]],
    ["[%c%c%c]", [72, 105, 33]],
    ["[%f] [%.2f] [%10.3f] [%-10.1f] [%+.0f] [%#.0f] [%012.4f]", [3.14159, 3.14159, 3.14159, 3.14159, 2.5, 2.0, -1.5]],
    ["[%e] [%.2E] [%g] [%G] [%g] [%.3g] [%#g]", [12345.678, 0.00012, 0.0001, 1e20, 100000, 3.14159, 1.0]],
    ["[%s] [%10s] [%-10s] [%.2s] [%5.1s] [%s]", ["abc", "abc", "abc", "abc", "abc", ""]],
    ["%d%% of %s", [50, "it"]],
    ["[%d] [%f] [%x] [%c]", [3.9, 2, -1.5, 65.7]],
    ["no directives", []],
    ["extra %d", [1, 2, 3]],
    ["[%12d] [%.12f]", [1, 0.5]],
]
foreach (c in cases) {
    local args = [this, c[0]]
    args.extend(c[1])
    print(format.acall(args) + "\n")
}

print("[" + strip(" \t\n a b \r\v\f ") + "] [" + lstrip("  a b  ") + "] [" + rstrip("  a b  ") + "] [" + strip("") +
      "] [" + strip("   ") + "]\n")

foreach (c in [["a,,b,", ","], ["", ","], [",", ","], ["a b;c", " ;"], ["abc", "x"], ["a\nb", "\n"]]) {
    local parts = split(c[0], c[1])
    local out = parts.len() + ":"
    foreach (p in parts) out += " [" + p + "]"
    print(out + "\n")
}

print(escape("plain") + " " + escape("a\\b\"c'd") + " " + escape("tab\there\nnl\x01\x7f\xff") + "\n")
print(escape("nul\0end") + " " + escape("").len() + "\n")

foreach (c in [["hello", "he"], ["hello", "hello"], ["hello", ""], ["he", "hello"], ["hello", "lo"], ["", ""]])
    print(startswith(c[0], c[1]) + "/" + endswith(c[0], c[1]) + " ")
print("\n")

local failures = [
    @() format("%z", 1),
    @() format("50%"),
    @() format("%123d", 1),
    @() format("%1.123f", 1.0),
    @() format("%-+ #0-+ #0-+ #0-+ #0-+ 1d", 1),
    @() format("%*d", 1, 2),
    @() format("%d"),
    @() format("%s %s", "one"),
    @() format("%s", 1),
    @() format("%d", "1"),
    @() format("%f", "1.0"),
    @() format("%c", null),
    // with no argument left the count is reported first, whatever the directive holds
    @() format("%d %d", 1),
    @() format("%123d"),
    @() format("%1.123f"),
    @() format("%z"),
    @() format("50%", 1),
    @() format(1),
    @() strip(1),
    @() split("a", ""),
    @() split("a"),
    @() escape(null),
    @() startswith("a"),
    @() endswith("a", 1),
]
foreach (i, fn in failures) {
    try {
        print(i + ": no error [" + fn() + "]\n")
    } catch (e) {
        print(i + ": " + e + "\n")
    }
}
