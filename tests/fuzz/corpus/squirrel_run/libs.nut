local b = blob(8); b.writen(3, 'i'); b.seek(0); print(b.readn('i'));
print(split("a,b;c", ",;").len() + " " + strip("  x ") + " " + regexp("a+").search("baaa").end);
print(sqrt(16) + " " + abs(-3) + " " + clock() * 0);
