// Clock frequency and one constant per handle kind, spaces removed from the kind's text.
print("SystemClockFrequency " + SystemClockFrequency);
local names = [];
foreach (name, value in getroottable())
    if (name.len() > 10 && name.slice(0, 10) == "EngineType")
        names.append([value, name]);
names.sort(@(a, b) a[0] <=> b[0]);
foreach (n in names)
    print(n[0] + " " + n[1]);
