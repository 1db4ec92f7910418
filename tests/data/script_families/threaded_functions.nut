// The threaded loaders load at once; the thread handle is always done.
local engine = TestEngine();
local thread = EngineLoadGeometryThreaded(engine, "cube.zml");
print("thread handle valid: " + ObjectIsValid(thread));
print("geometry cached: " + TestCounts());
print("done: " + LoadThreadIsDone(thread));
print("done: " + LoadThreadIsDone(thread));
