function r(n) { return r(n + 1) + 1; }
try { r(0); } catch (e) { print(e); }
