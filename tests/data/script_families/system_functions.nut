// The system family: clock, locale and the seeded generator.
local a = SystemGetClock();
local b = SystemGetClock();
print("clock is an integer that does not go back: " + (typeof a == "integer" && b >= a));
print("frequency " + SystemGetClockFrequency() + ", constant " + SystemClockFrequency);
print("locale " + SystemGetLocale());
print("rand of 0: " + SystemRand(0));
SystemSeedRand(42);
local first = [];
for (local i = 0; i < 5; ++i)
    first.append(SystemRand(1000));
SystemSeedRand(42);
local same = true;
local inRange = true;
for (local i = 0; i < 5; ++i) {
    local x = SystemRand(1000);
    same = same && x == first[i];
    inRange = inRange && x >= 0 && x < 1000;
}
print("same seed, same draws: " + same + ", in range: " + inRange);
print("float bound: " + (SystemRand(10.9) < 10));
print("platform " + g_platform + " = PlatformLinuxX86 " + PlatformLinuxX86 + "; others " + PlatformWin32 + " " +
      PlatformNintendoWii + " " + PlatformUnknown);
print("tool constants " + NoTool + " " + ToolEdit + " " + ToolPreview + " " + ToolProjectPreview);
