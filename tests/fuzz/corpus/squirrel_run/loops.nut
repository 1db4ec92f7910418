local s = 0; while (true) { s++; }
