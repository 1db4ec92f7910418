-- String building and conversion.
local parts = {}
for i = 0, 60000 - 1 do parts[#parts + 1] = "item" .. i .. ";" end
local s = ""
for _, p in ipairs(parts) do s = s .. (#p > 8 and "L" or "s") end
local n = 0
for i = 0, 1000000 - 1 do n = n + #tostring(i) end
print(#s .. " " .. n)
