-- Integer arithmetic in a tight loop.
local sum = 0
for i = 0, 20000000 - 1 do sum = sum + (i & 7) end
print(sum)
