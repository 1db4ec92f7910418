// Table insertion and lookup with string keys.
local t = {};
for (local i = 0; i < 200000; i++) t["key" + i] <- i;
local total = 0;
for (local round = 0; round < 10; round++)
    for (local i = 0; i < 200000; i += 7) total += t["key" + i];
local fields = { alpha = 1, beta = 2, gamma = 3 };
for (local i = 0; i < 3000000; i++) total += fields.alpha + fields.gamma;
print(total + "\n");
