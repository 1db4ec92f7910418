-- Table insertion and lookup with string keys. Lua integers are 64-bit: the result is
-- printed wrapped to 32 bits, as Squirrel computes it.
local t = {}
for i = 0, 200000 - 1 do t["key" .. i] = i end
local function wrap(x) return ((x + 0x80000000) & 0xFFFFFFFF) - 0x80000000 end
local total = 0
for round = 0, 9 do
    for i = 0, 200000 - 1, 7 do total = total + t["key" .. i] end
end
local fields = {alpha = 1, beta = 2, gamma = 3}
for i = 0, 3000000 - 1 do total = total + fields.alpha + fields.gamma end
print(wrap(total))
