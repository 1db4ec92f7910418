-- Class instantiation and method calls. Lua integers are 64-bit: the result is printed
-- wrapped to 32 bits, as Squirrel computes it.
local Vec = {}
Vec.__index = Vec
local function new(a, b) return setmetatable({x = a, y = b}, Vec) end
function Vec:add(o) return new(self.x + o.x, self.y + o.y) end
function Vec:dot(o) return self.x * o.x + self.y * o.y end
local acc = new(0, 0)
local function wrap(x) return ((x + 0x80000000) & 0xFFFFFFFF) - 0x80000000 end
local total = 0
for i = 0, 1000000 - 1 do
    local v = new(i, 1)
    acc = acc:add(v)
    total = total + (v:dot(acc) & 0xFF)
end
print(wrap(acc.x) .. " " .. wrap(total))
