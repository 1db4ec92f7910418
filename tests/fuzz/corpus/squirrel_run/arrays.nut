// Array push, indexing and sort.
local a = [];
local seed = 12345;
for (local i = 0; i < 300000; i++) { seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF; a.push(seed % 100000); }
a.sort();
local b = clone a;
b.sort(@(x, y) y <=> x);
local sum = 0;
for (local i = 0; i < a.len(); i++) sum += a[i] - b[a.len() - 1 - i];
print(a[0] + " " + a[a.len() - 1] + " " + sum + "\n");
