// A blob at the largest size (2 GB less a byte): pages never written cost nothing, and
// writing past the end fails instead of wrapping the size around.
function attempt(what, f) {
    try {
        f();
        print(what + ": no error\n");
    } catch (e) {
        print(what + ": " + e + "\n");
    }
}
local big = blob(0x7fffffff);
big.seek(0, 'e');
attempt("write at the end of a 2 GB blob", @() big.writen(1, 'i'));
attempt("write a blob at the end", @() big.writeblob(blob(16)));
big.seek(-4, 'e');
big.writen(0x01020304, 'i');
big.seek(-4, 'e');
print(format("%x %d\n", big.readn('i'), big.len()));
print(big.seek(0x7fffffff, 'c') + " " + big.tell() + "\n");
big = null;
