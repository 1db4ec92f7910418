-- Array push, indexing and sort.
local a = {}
local seed = 12345
for i = 1, 300000 do
    seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
    a[#a + 1] = seed % 100000
end
table.sort(a)
local b = {}
for i = 1, #a do b[i] = a[i] end
table.sort(b, function(x, y) return y < x end)
local sum = 0
for i = 1, #a do sum = sum + a[i] - b[#a + 1 - i] end
print(a[1] .. " " .. a[#a] .. " " .. sum)
