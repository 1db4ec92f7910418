// Class instantiation and method calls.
class Vec {
    x = 0; y = 0;
    constructor(a, b) { x = a; y = b; }
    function add(o) { return Vec(x + o.x, y + o.y); }
    function dot(o) { return x * o.x + y * o.y; }
}
local acc = Vec(0, 0);
local total = 0;
for (local i = 0; i < 1000000; i++) {
    local v = Vec(i, 1);
    acc = acc.add(v);
    total += v.dot(acc) & 0xFF;
}
print(acc.x + " " + total + "\n");
