// Pow in double precision, Mod with the sign of the dividend, AbsMod shifted once.
foreach (c in [[-7, 3], [7, 3], [7, -3], [-7, -3], [0, 5], [-2147483647 - 1, 3], [2147483647, 2]])
    print(format("Mod(%d, %d) = %d  AbsMod = %d", c[0], c[1], Mod(c[0], c[1]), AbsMod(c[0], c[1])));
foreach (c in [[2.0, 10.0], [2.0, 0.5], [10.0, -2.0], [0.0, 0.0]])
    print(format("Pow(%g, %g) = %g", c[0], c[1], Pow(c[0], c[1])));
print(typeof Pow(3.0, 2.0));
