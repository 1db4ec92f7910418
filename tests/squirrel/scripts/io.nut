// The io library, working only inside the scratch directory the test runner provides.
local dir = getenv("SQ_TEST_TMP")
local function put(path, bytes) {
    local f = file(path, "wb")
    foreach (c in bytes) f.writen(c, 'b')
    f.close()
}
local function bytes(s) {
    local a = []
    foreach (c in s) a.append(c)
    return a
}

// A file is a stream: the same reads and writes as a blob.
local path = dir + "/data.bin"
local f = file(path, "wb+")
print(typeof f + " " + (f instanceof stream) + " " + f.len() + "\n")
f.writen(123456, 'i')
f.writen(2.5, 'f')
f.writen(65, 'b')
local b = blob()
b.writen(0x4142, 'w')
print(f.writeblob(b) + " " + f.len() + " " + f.tell() + " " + (f.eos() == null) + "\n")
f.seek(0)
print(f.readn('i') + " " + f.readn('f') + " " + f.readn('b') + " " + f.readn('w') + "\n")
try {
    f.readn('i')
} catch (e) {
    print(e + " eos=" + f.eos() + "\n")
}
f.seek(-2, 'e')
local rb = f.readblob(10)
print(typeof rb + " " + rb.len() + " " + rb[0] + " " + rb[1] + "\n")
print(f.seek(-100) + " " + f.seek(0, 'c') + " " + f.flush() + "\n")
f.close()
f.close() // closing twice is harmless
try {
    f.len()
} catch (e) {
    print(e + "\n")
}

// Scripts from files run with the caller's `this`; compiled images behave the same.
local src = dir + "/mod.nut"
put(src, bytes("return this.tag + \":\" + vargv.len();"))
::tag <- "root"
print(loadfile(src)() + " " + loadfile(src, true).call({tag = "call"}, 1, 2) + "\n")
print(dofile(src) + " " + dofile(src, true) + "\n")
local t = {tag = "table", f = function(p) { return dofile(p) }}
print(t.f(src) + "\n")
local image = dir + "/mod.cnut"
print(writeclosuretofile(image, loadfile(src)) + "\n")
print(loadfile(image)() + " " + dofile(image) + "\n")

// Encodings: a UTF-8 byte order mark is skipped, UTF-16 in either byte order is read.
local bom = dir + "/bom.nut"
local withBom = [0xEF, 0xBB, 0xBF]
withBom.extend(bytes("return \"bom\""))
put(bom, withBom)
print(dofile(bom) + "\n")
local le = [0xFF, 0xFE], be = [0xFE, 0xFF]
foreach (c in bytes("return \"utf16\"")) {
    le.extend([c, 0])
    be.extend([0, c])
}
put(dir + "/le.nut", le)
put(dir + "/be.nut", be)
print(dofile(dir + "/le.nut") + " " + dofile(dir + "/be.nut") + "\n")

put(dir + "/badbom.nut", [0xEF, 0xBB, 0x20])
put(dir + "/syntax.nut", bytes("local x = ;"))
put(dir + "/junk.cnut", [0xFA, 0xFA, 1, 2, 3, 4])
put(dir + "/truncated.cnut", [0xFA])
local whole = file(image, "rb")
local cut = whole.readblob(whole.len() - 3)
whole.close()
local g = file(dir + "/cut.cnut", "wb")
g.writeblob(cut)
g.close()

local failures = [
    @() file(dir + "/missing/x", "r"),
    @() file(path, "no such mode"),
    @() file(1, 2),
    @() file(path),
    @() loadfile(dir + "/none.nut"),
    @() dofile(dir + "/none.nut"),
    @() loadfile(dir + "/syntax.nut"),
    @() loadfile(dir + "/badbom.nut"),
    @() loadfile(dir + "/junk.cnut"),
    @() loadfile(dir + "/truncated.cnut"),
    @() loadfile(dir + "/cut.cnut"),
    @() loadfile(1),
    @() writeclosuretofile(dir + "/x.cnut", function() { return t }),
    @() writeclosuretofile(dir + "/x.cnut", function(a = 1) { return a }),
    @() writeclosuretofile(dir + "/nodir/x.cnut", loadfile(src)),
    @() writeclosuretofile(dir + "/x.cnut", print),
    @() writeclosuretofile(dir + "/x.cnut", "text"),
]
foreach (i, fn in failures) {
    try {
        fn()
        print(i + ": no error\n")
    } catch (e) {
        print(i + ": " + e + "\n")
    }
}

// Default parameter values are not part of an image: loaded, they read as null.
print("default after loading: " + loadfile(dir + "/x.cnut")() + "\n")

foreach (n in ["data.bin", "mod.nut", "mod.cnut", "bom.nut", "le.nut", "be.nut", "badbom.nut", "syntax.nut",
               "junk.cnut", "truncated.cnut", "cut.cnut", "x.cnut"])
    remove(dir + "/" + n)

print(typeof stdin + " " + typeof stdout + " " + typeof stderr + "\n")
stdout.writen('o', 'c')
stdout.writen('k', 'c')
stdout.writen('\n', 'c')
stdout.flush()
