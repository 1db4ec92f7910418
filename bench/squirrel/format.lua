-- string.format with every kind of conversion.
local total = 0
for i = 0, 300000 - 1 do
    local s = string.format("%d %5.2f %s %x %-8s|%c", i, i * 0.5, "name", i, "pad", 65 + i % 26)
    total = total + #s
end
print(total)
