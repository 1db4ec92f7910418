// Smoke test of the command-line interpreter: output, arguments, exit status.
print("hello " + 1 + " " + 2.5 + "\n");
foreach (i, a in vargv) print(i + ": " + a + "\n");
return 3;
