// regexp searches over a 1 MB text: words, numbers and a capture, four rounds.
local line = "The quick brown fox 12345 jumps over the lazy dog at 0x1F; call me@example.com now!\n";
local text = line;
while (text.len() < 1048576) text += text;
local counts = [];
for (local round = 0; round < 4; round++) {
    foreach (p in [@"\d+", @"\w+@\w+\.com", @"0x(\x+)", @"\bfox\b", @"[A-Z]\l+"]) {
        local r = regexp(p);
        local n = 0, at = 0;
        for (local m = r.search(text, at); m != null; m = r.search(text, at)) {
            n++;
            at = m.end;
        }
        counts.append(n);
    }
}
local caps = regexp(@"(\w+)@(\w+)").capture(text);
print(text.len() + " " + counts.len() + " " + counts[0] + " " + counts[1] + " " + counts[2] + " " + counts[3] + " " +
      counts[4] + " " + caps.len() + "\n");
