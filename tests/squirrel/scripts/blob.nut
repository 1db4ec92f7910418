// The blob library: a growable byte buffer that is also a stream.
local b = blob(4)
print(typeof b + " " + b.len() + " " + b.tell() + " " + (b.eos() == null) + "\n")
b.writen(0x01020304, 'i')
print(b.len() + " " + b.tell() + " " + b.eos() + "\n")
foreach (i, x in b) print(i + "=" + x + " ")
print("\n")

// Every number format, little-endian, read back in order; writes past the end grow it.
b.seek(0)
print(b.readn('i') + "\n")
foreach (f in [[123456, 'l'], [1.5, 'f'], [2.25, 'd'], [-2, 'c'], [200, 'b'], [-3, 's'], [65535, 'w'], [-1, 'w'], [300, 'b'], [3.9, 'i']])
    b.writen(f[0], f[1])
print(b.len() + "\n")
b.seek(4)
foreach (t in ['l', 'f', 'd', 'c', 'b', 's', 'w', 'w', 'b', 'i']) print(b.readn(t) + " ")
print("\n")

// Seeking: 0 on success, -1 when the target is outside the blob.
print(b.seek(0, 'e') + " " + b.tell() + " " + b.seek(1, 'e') + " " + b.seek(-1, 'c') + " " + b.tell() + " " +
      b.seek(-1) + " " + b.seek(2, 'b') + " " + b.tell() + "\n")

// Indexing stores the low byte and checks the range; other keys are simply missing.
b[0] = 0x1FF
b[1] = -1
print(b[0] + " " + b[1] + " " + b[2.7] + "\n")

// Clones are independent copies; resize truncates, and growing only makes room (len stays).
local c = clone b
c[0] = 7
print(b[0] + " " + c[0] + " " + c.len() + " " + c.tell() + "\n")
b.resize(2)
print(b.len() + " " + b.tell() + "\n")
b.resize(5)
foreach (x in b) print(x + " ")
print("\n")

local s = blob()
s.writen(0x0102, 's')
s.writen(0x03040506, 'i')
s.swap2()
foreach (x in s) print(x + " ")
print("\n")
s.swap4() // the two bytes after the last whole unit stay put
foreach (x in s) print(x + " ")
print("\n")

s.seek(0)
local r = s.readblob(3)
print(typeof r + " " + r.len() + " " + r.tell() + " " + s.tell() + "\n")
r = s.readblob(100)
print(r.len() + " " + r[0] + "\n")
local w = blob()
print(w.writeblob(s) + " " + w.writeblob(blob()) + " " + w.len() + " " + w.flush() + "\n")

print(castf2i(1.0) + " " + casti2f(1065353216) + " " + castf2i(-2) + " " + casti2f(castf2i(0.1)) + "\n")
print(swap2(0x1234) + " " + swap2(0x0080) + " " + swap2(0x123456) + " " + swap4(0x12345678) + " " + swap4(1) + " " +
      swapfloat(swapfloat(3.5)) + " " + castf2i(swapfloat(1.0)) + "\n")
print((b instanceof stream) + " " + (b instanceof blob) + " " + typeof stream + " " + (stream == getroottable().stream) + "\n")

class NotAStream {}
local failures = [
    @() blob(-1),
    @() blob("x"),
    @() b[100],
    @() b[-1],
    @() b[-1] = 1,
    @() b[5] = 1,
    @() b.nothere,
    @() b.nothere = 1,
    @() b.resize = 1,
    @() b[0] = "x",
    @() b.readn('z'),
    @() b.writen(1, 'z'),
    @() b.writen("1", 'i'),
    @() b.seek(0, 'x'),
    @() blob().readn('i'),
    @() blob().readblob(4),
    @() w.writeblob({}),
    @() w.writeblob(NotAStream()),
    @() blob.len.call(NotAStream()),
    @() blob.resize.call(NotAStream(), 1),
    @() b.len.call({}),
    @() stream.len.call(stream()),
    @() stream.readn.call(stream(), 'i'),
    @() clone stream(),
    @() castf2i("x"),
    @() swap4(),
]
foreach (i, f in failures) {
    try {
        f()
        print(i + ": no error\n")
    } catch (e) {
        print(i + ": " + e + "\n")
    }
}
