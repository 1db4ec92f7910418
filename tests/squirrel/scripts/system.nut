// The system library.
local dir = getenv("SQ_TEST_TMP")
print(typeof dir + " " + getenv("SQ_TEST_NO_SUCH_VARIABLE") + "\n")
print(system("exit 0") + " " + (system("exit 3") != 0) + "\n")
local c = clock()
print(typeof c + " " + (c >= 0) + "\n")
local now = time()
print(typeof now + " " + (now > 1600000000) + "\n")

// Calendar fields: month counts from 0, wday from Sunday.
foreach (t in [0, 951782400, 2147483647]) {
    local d = date(t, 'u')
    print(t + ": " + d.year + "-" + d.month + "-" + d.day + " " + d.hour + ":" + d.min + ":" + d.sec + " wday " +
          d.wday + " yday " + d.yday + "\n")
}
local fields = []
foreach (k, v in date()) fields.append(k)
fields.sort()
foreach (k in fields) print(k + " ")
print("\n")
print(date(now).year == date(now, 'l').year)
print("\n")

local a = dir + "/a.txt", b = dir + "/b.txt"
local f = file(a, "w")
f.writen('x', 'c')
f.close()
rename(a, b)
print(rename(b, a) + " " + remove(a) + "\n")

local failures = [
    @() remove(a),
    @() rename(a, b),
    @() getenv(1),
    @() system(),
    @() date("x"),
    @() date(0, 'u', 1),
    @() time(1),
    @() clock(1),
    @() remove(null),
    @() rename("x"),
]
foreach (i, fn in failures) {
    try {
        fn()
        print(i + ": no error\n")
    } catch (e) {
        print(i + ": " + e + "\n")
    }
}
