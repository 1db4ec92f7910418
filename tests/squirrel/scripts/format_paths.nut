// format: plain conversions take a short path; flagged ones go through the C library.
// Both must agree, at the integer limits, with NULs, and with strings past any buffer.
local min = -2147483647 - 1;
print(format("[%d] [%i] [%d] [%5d] [%-5i] [%+d] [%05d]\n", min, 0x7FFFFFFF, -1, 42, 42, 42, -42));
print(format("[%s] [%s] [%3s] [%-3s] [%.1s]\n", "", "a\x00hidden", "ab", "ab", "xyz"));
local long = "0123456789";
for (local i = 0; i < 7; i++) long += long; // 1280 characters
local padded = format("%99s|%-99s", long, "y"), plain = format("%s", long), cut = format("%.99s", long);
print(padded.len() + " " + (padded.slice(0, 1280) == long) + " " + (plain == long) + " " + cut.len() + "\n");
print(format("%d%%%s%c%x", 1, "two", 51, 255) + "\n");
// %c writes the low byte as it is, a NUL included, and counts it.
foreach (c in [["%c", [0]], ["%c", [256]], ["[%3c]", [0]], ["[%-3c]", [512]], ["%c%c", [0, 66]]]) {
    local args = [this, c[0]]
    args.extend(c[1])
    local s = format.acall(args)
    print(escape(s) + " " + s.len() + "\n")
}
// %x, %X, %f with a width or precision, and padded %s also take short paths; each case
// must read as the C library writes it (rounding ties, negative zero, the float range;
// infinities and NaN stay with the C library).
foreach (i in [0, 9, 10, 255, -1, min, 0x7FFFFFFF, 0xABCDEF])
    print(format("[%x] [%X] [%c]", i, i, 65 + (i & 15)) + "\n");
foreach (f in [0.0, -0.0, 0.5, 0.125, 0.375, 2.5, -2.5, 1.005, 99.995, 0.015, 16777216.0, 1e30, -3.4e38, 1e-30,
               3.14159265, 1.0 / 0.0, -1.0 / 0.0])
    print(format("[%f] [%5.2f] [%.0f] [%.f] [%10.3f] [%3f] [%.1f] [%20.10f]", f, f, f, f, f, f, f, f) + "\n");
print(format("[%f] [%5.2f]", 0.0 / 0.0, -(0.0 / 0.0)).len() + "\n");
foreach (s in ["", "a", "abcdefgh", "abcdefghi", "x\x00y"])
    print(format("[%8s] [%-8s] [%1s] [%-1s] [%20s]", s, s, s, s, s) + "\n");
