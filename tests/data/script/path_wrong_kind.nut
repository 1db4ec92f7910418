// A Scene handle where a Path is expected: call stack, VM suspended, the rest not run.
function Follow(h) {
    print("before");
    local motion = AIPathGetMotion(h);
    print("after");
}
Follow(TestHandle(EngineTypeScene));
print("top level after");
