// split, strip and escape over many short fields.
local row = "  alpha, beta ,gamma;delta ,, epsilon;zeta\t";
local fields = 0, chars = 0;
for (local i = 0; i < 100000; i++) {
    foreach (f in split(row, ",;")) {
        local s = strip(f);
        fields++;
        chars += s.len();
    }
    chars += escape(row).len();
}
print(fields + " " + chars + "\n");
