// The command's output goes to the log; the result is its exit status.
print("status " + ShellExecute("echo", "one two"));
print("status " + ShellExecute("sh", "-c 'exit 3'"));
print("status " + ShellExecute("printf", "'no line end'"));
print("status " + ShellExecute("true", ""));
print("renamed " + FileRename("missing-file", "other-file"));
local f = file("made.txt", "w");
f.writeblob(blob(3));
f.close();
print("renamed " + FileRename("made.txt", "moved.txt"));
print("renamed again " + FileRename("made.txt", "moved.txt"));
print("reopened " + (file("moved.txt", "r").len()));
