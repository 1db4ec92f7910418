// A Scene handle where an Item is expected: call stack, VM suspended, the rest not run.
function Inner(h) {
    print("before");
    TestNeed(h, EngineTypeItem);
    print("after");
}
function Outer() {
    Inner(TestHandle(EngineTypeScene));
}
Outer();
print("top level after");
