local s = "ab"; for (local i = 0; i < 20; i++) s += s; print(s.len());
print(format("%d %s %5.2f", 1, "x", 2.5));
