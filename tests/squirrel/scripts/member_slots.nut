// Member reads stay right while a class grows: names looked up early must still find
// their own values after hundreds of members are added (the member table is rebuilt
// many times on the way) and after names that share a lookup cache line are read.
class Base {
    a = 1;
    b = "two";
    function f() { return "f" + a; }
}

// Read the first members (and miss one) so they are looked up before the class grows.
print(Base.a + " " + Base.b + " " + ("zz" in Base) + "\n");
local probe = Base();
print(probe.a + " " + probe.b + " " + probe.f() + "\n");

class Grown {
    a = 1;
    b = "two";
    function f() { return "f" + a; }
}
print(Grown.a + " " + Grown.b + "\n");
for (local i = 0; i < 300; i++) Grown["m" + i] <- i * 3;
print(Grown.a + " " + Grown.b + " " + Grown.m0 + " " + Grown.m299 + "\n");

local bad = 0;
for (local i = 0; i < 300; i++)
    if (Grown["m" + i] != i * 3) bad++;
print("wrong fields: " + bad + "\n");

local o = Grown();
o.a = 10;
print(o.a + " " + o.b + " " + o.f() + " " + o.m0 + " " + o.m150 + " " + Grown.a + "\n");

// After the first instance only functions can be added; they go to the shared slots.
for (local i = 0; i < 200; i++) {
    local n = i;
    Grown["g" + i] <- function() { return n + a; };
}
bad = 0;
for (local i = 0; i < 200; i++)
    if (o["g" + i]() != i + 10) bad++;
for (local i = 0; i < 300; i++)
    if (o["m" + i] != i * 3) bad++;
print("wrong after methods: " + bad + "\n");
print(o.a + " " + o.b + " " + o.f() + " " + o.g0() + " " + o.g199() + "\n");

// A derived class starts from its base's members and grows on its own.
class Derived extends Grown {
    c = "c";
}
local d = Derived();
print(d.a + " " + d.c + " " + d.m7 + " " + d.g3() + "\n");
for (local i = 0; i < 100; i++) Derived["h" + i] <- function() { return "h"; };
print(d.a + " " + d.b + " " + d.c + " " + d.m7 + " " + d.f() + " " + d.h99() + "\n");
print(("h0" in Grown) + " " + ("h0" in Derived) + "\n");
