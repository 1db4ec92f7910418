// Generators and threads (coroutines).
function gen(n) { local i = 0; while (i < n) { yield i; i++; } return "done"; }
local g = gen(3);
print(g.getstatus() + " ");
print((resume g) + " " + (resume g) + " " + (resume g) + " " + (resume g) + " " + g.getstatus() + "\n");
try { resume g; } catch (e) { print(e + "\n"); }
try { resume 5; } catch (e) { print(e + "\n"); }
function inner() { try { yield 1; throw "boom"; } catch (e) { yield "caught " + e; } yield 3; }
foreach (v in inner()) print(v + " ");
print("\n");
foreach (i, v in gen(2)) print(i + "=" + v + " ");
print("\n");
function cgen() { local x = 0; local get = function() { return x; }; while (true) { x++; yield get; } }
local cg = cgen(); local f1 = resume cg; print(f1() + " "); resume cg; print(f1() + "\n");
function failing() { yield 1; throw "gen error"; }
local fg = failing(); resume fg;
try { resume fg; } catch (e) { print(e + " " + fg.getstatus() + "\n"); }
function selfish() { yield resume ::me; }
::me <- selfish();
try { resume me; } catch (e) { print(e + "\n"); }
class Range { lo = 0; hi = 0; constructor(a, b) { lo = a; hi = b; }
    function each() { for (local i = lo; i < hi; i++) yield i; } }
local range = Range(5, 8);
foreach (x in range.each()) print(x + " ");
print("\n");
try { gen(); } catch (e) { print(e + "\n"); }

function worker(a, b) {
    print("start " + a + " " + b + "\n");
    local r = suspend("first");
    print("woke with " + r + "\n");
    r = suspend("second");
    return "result " + r;
}
local t = newthread(worker);
print(t.getstatus() + "\n");
print(t.call(1, 2) + " " + t.getstatus() + "\n");
print(t.wakeup("A") + "\n");
print(t.wakeup("B") + " " + t.getstatus() + "\n");
try { t.wakeup(); } catch (e) { print(e + "\n"); }
local t2 = newthread(function() { try { suspend(1); } catch (e) { return "got " + e; } });
t2.call();
print(t2.wakeupthrow("err") + "\n");
local t3 = newthread(function() { seterrorhandler(null); suspend(); throw "uncaught"; });
t3.call();
print(t3.wakeupthrow("x", false) + " " + t3.getstatus() + "\n");
local t4 = newthread(function() { local info = getstackinfos(1); suspend(info.func); });
print(t4.call() + " " + t4.getstackinfos(0).func + "\n");
local t5 = newthread(function(x) { return x * 2; });
print(t5.call(21) + " " + t5.getstatus() + " " + t5.call(4) + "\n");
local t6 = newthread(function() { seterrorhandler(null); throw "thread error"; });
try { t6.call(); } catch (e) { print("caller got " + e + " " + t6.getstatus() + "\n"); }
