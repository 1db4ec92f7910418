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
