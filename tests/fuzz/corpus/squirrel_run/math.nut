// The math library: floats from every function but abs and rand.
local unary = {sqrt = sqrt, sin = sin, cos = cos, asin = asin, acos = acos, log = log, log10 = log10, tan = tan,
               atan = atan, floor = floor, ceil = ceil, exp = exp, fabs = fabs}
local names = []
foreach (k, v in unary) names.append(k)
names.sort()
foreach (n in names) {
    local f = unary[n]
    print(format("%-6s %s %.6f %.6f %.6f\n", n, typeof f(1), f(0.5), f(1), f(0.25)))
}
print(sqrt(16) + " " + floor(-2.5) + " " + ceil(-2.5) + " " + fabs(-3) + " " + pow(2, 10) + " " + pow(2, -1) + " " +
      pow(2, 0.5) + " " + atan2(1, -1) + " " + atan2(-1, 0) + "\n")
print(abs(-3) + " " + abs(-3.7) + " " + abs(2.9) + " " + typeof abs(-3.7) + " " + abs(-2147483647) + "\n")
print(PI + " " + typeof PI + " " + RAND_MAX + " " + typeof RAND_MAX + "\n")
print(format("%.3f %.3f", log(0), -exp(1000)) + "\n")

srand(42)
local first = []
for (local i = 0; i < 5; i++) first.append(rand())
srand(42)
local same = true
foreach (x in first) {
    local y = rand()
    same = same && x == y && y >= 0 && y <= RAND_MAX
}
print(same + " " + typeof rand() + "\n")

local failures = [@() sqrt("4"), @() sqrt(), @() pow(2), @() atan2(1, null), @() srand(1.5, 2), @() rand(1), @() abs({})]
foreach (i, fn in failures) {
    try {
        fn()
        print(i + ": no error\n")
    } catch (e) {
        print(i + ": " + e + "\n")
    }
}
