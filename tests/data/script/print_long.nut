// Long prints are cut, never overflow; formats with many arguments are bounded too.
local s = "";
for (local i = 0; i < 300; ++i)
    s += "0123456789";
print(s.len());
print(s);
print(format("%s|%s", s, s).len());
