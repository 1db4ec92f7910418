// A call stack that runs out of room is still reported: the error handler runs in a
// reserve above the stack's limit, and gets it again each time the stack fills up.
function depth() {
    local low = 0, high = 1;
    while (getstackinfos(high) != null) { low = high; high *= 2; }
    while (high - low > 1) {
        local mid = (low + high) / 2;
        if (getstackinfos(mid) != null) low = mid; else high = mid;
    }
    return low;
}
seterrorhandler(function(e) {
    local inner = getstackinfos(2);
    print("handler: " + e + " in " + inner.func + "(), " + (depth() > 100000 ? "deep" : "shallow") + "\n");
});
function down(n) { local r = down(n + 1); return r; }
for (local i = 0; i < 2; i++) {
    try {
        down.call(this, 0);
    } catch (e) {
        print("caught: " + e + "\n");
    }
}
