// Arithmetic, comparison, bitwise and logical operators.
print((7 / 2) + " " + (-7 / 2) + " " + (7 % -3) + " " + (-7 % 3) + " " + (7.5 % 2) + "\n");
print((2147483647 + 1) + " " + (-2147483647 - 2) + " " + (65536 * 65536) + "\n");
print((1 / 2.0) + " " + (1.0 / 3) + " " + (10 / 4.0) + " " + (2.0 * 3) + "\n");
print((1 << 4) + " " + (1 << 33) + " " + (-16 >> 2) + " " + (-16 >>> 28) + " " + (6 & 3) + " " + (6 | 3) + " " + (6 ^ 3) + "\n");
print((1 == 1.0) + " " + (0.0 == -0.0) + " " + (0 == null) + " " + (1 == true) + " " + ("a" == "a") + "\n");
print((1 < 2.5) + " " + ("abc" < "abd") + " " + (false < true) + " " + (null < 0) + " " + (2 <=> 1) + " " + (1 <=> 1) + "\n");
print((null || "x") + " " + (0 && "y") + " " + (1 && "z") + " " + ("" || 5) + " " + !0 + " " + !"" + "\n");
print(("k" in {k = 1}) + " " + (0 in "a") + " " + (-1 in "ab") + " " + (2 in [1]) + " " + ("len" in []) + "\n");
print(typeof 1 + " " + typeof 1.5 + " " + typeof true + " " + typeof "s" + " " + typeof null + " " + typeof {} +
      " " + typeof [] + " " + typeof print + " " + typeof class {} + " " + typeof (class {})() + "\n");
print("s" + 1 + 2 + " " + (1 + 2) + "s" + " " + 1.5 + true + null + "\n");
print((1e20).tointeger() + " " + (-2.9).tointeger() + " " + (5).tofloat() + " " + 1000000.0 + " " + 1e-5 + "\n");
local i = 5; local j = i++ + ++i; print(i + " " + j + "\n");
local t = [1, 2]; t[0] += 10; t[1]++; print(t[0] + " " + t[1] + "\n");
local s = "a"; s++; print(s + "\n");
local errs = [
  @() 1 / 0, @() 1 % 0, @() (-2147483647 - 1) / -1, @() 1 + [], @() {} - 1, @() -"s", @() ~1.0,
  @() 1 & "a", @() 1 < "a", @() {} < [], @() [] <=> {}, @() 1 instanceof 2
];
foreach (f in errs) { try { f(); print("no error\n"); } catch (e) { print(e + "\n"); } }
print(((-2147483647 - 1) % -1) + "\n");
