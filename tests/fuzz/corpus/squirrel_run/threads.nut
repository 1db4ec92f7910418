function t(d) { return newthread(t).call(d + 1); }
try { t(0); } catch (e) { print(e); }
