// A generator resumed by script code runs in the same interpreter loop as its resumer: a
// suspend() inside it suspends the whole thread, and the wakeup carries on inside it.
function steps() {
    local got = suspend("waiting");
    yield got;
    got = suspend("again");
    yield got;
}
local viaForeach = newthread(function() {
    local out = "";
    foreach (v in steps()) out += "got " + v + ";";
    return out;
});
print(viaForeach.call() + "\n");
print(viaForeach.wakeup("go") + "\n");
print(viaForeach.wakeup("more") + " " + viaForeach.getstatus() + "\n");

local viaResume = newthread(function() {
    local g = steps();
    local first = resume g;
    return "resumed " + first + " " + g.getstatus();
});
print(viaResume.call() + " " + viaResume.getstatus() + "\n");
print(viaResume.wakeup("x") + " " + viaResume.getstatus() + "\n");

// Generators nested in generators, with a suspend at the bottom.
function outer() {
    foreach (v in steps()) yield "<" + v + ">";
}
local nested = newthread(function() {
    local s = "";
    foreach (v in outer()) s += v;
    return s;
});
print(nested.call() + " " + nested.wakeup(1) + " " + nested.wakeup(2) + "\n");

// An error raised in a generator still reaches its resumer, which can catch it.
function failing() { yield 1; throw "inside"; }
local caught = newthread(function() {
    try {
        foreach (v in failing()) suspend(v);
    } catch (e) {
        return "caught " + e;
    }
});
print(caught.call() + " " + caught.wakeup() + "\n");

// The resumer may drop its last reference to the generator while the generator runs.
local holder = null;
function dropsItself() { holder = null; yield "still running"; }
holder = dropsItself();
print((resume holder) + " " + (holder == null) + "\n");

// call() on a suspended thread raises an error whose value is null; the thread stays
// suspended.
local sleeper = newthread(function() { return "woke with " + suspend("asleep"); });
print(sleeper.call() + "\n");
try {
    sleeper.call();
    print("no error\n");
} catch (e) {
    print("call on suspended thread: " + (e == null ? "null" : e) + " " + sleeper.getstatus() + "\n");
}
print(sleeper.wakeup("x") + "\n");
