// string.format with every kind of conversion.
local total = 0;
for (local i = 0; i < 300000; i++) {
    local s = format("%d %5.2f %s %x %-8s|%c", i, i * 0.5, "name", i, "pad", 65 + i % 26);
    total += s.len();
}
print(total + "\n");
