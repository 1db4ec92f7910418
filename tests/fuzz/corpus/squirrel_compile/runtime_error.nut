local a = 1;
function f(x) { return x.foo; }
f({});
