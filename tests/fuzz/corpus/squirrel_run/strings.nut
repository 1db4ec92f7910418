// String building and conversion.
local parts = [];
for (local i = 0; i < 60000; i++) parts.append("item" + i + ";");
local s = "";
foreach (p in parts) s += p.len() > 8 ? "L" : "s";
local n = 0;
for (local i = 0; i < 1000000; i++) n += (i.tostring()).len();
print(s.len() + " " + n + "\n");
