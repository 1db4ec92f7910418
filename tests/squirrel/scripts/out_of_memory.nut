// Runs with its address space limited (out_of_memory.limit, in KiB): allocations fail
// long before the machine's memory would, and each failure is a script error.
local s = "0123456789abcdef";
local reached = 0;
try {
    for (;;) {
        s += s;
        reached = s.len();
    }
} catch (e) {
    print("doubling a string: " + e + "\n");
}
print((reached >= 1 << 20) + "\n");
s = null;

// The handlers let go of what was built before they need memory themselves.
local grown = [], count = 0;
try {
    for (local i = 0; ; i++) grown.push([i, i, i, i]);
} catch (e) {
    count = grown.len();
    grown = null;
    print("growing an array: " + e + "\n");
}
print((count > 1000) + "\n");

// The key whose insert ran out of memory is not left behind in the table.
local t = {}, last = -1;
try {
    for (local i = 0; ; i++) {
        last = i;
        t[i] <- i;
    }
} catch (e) {
    local walked = 0;
    foreach (k, v in t) walked++;
    local clean = !(last in t) && t.len() == last && walked == last && t[last - 1] == last - 1;
    t = null;
    print("growing a table: " + e + "\n");
    print("the failed key is left out: " + clean + "\n");
}

// Everything still works once the memory is back.
local after = array(1000, "x");
print(after.len() + " " + (after[999] + "y") + "\n");
