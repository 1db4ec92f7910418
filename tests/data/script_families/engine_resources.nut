// Resource lookup, creation and deletion through the engine family.
local engine = TestEngine();
local wall = TestTexture("wall.tga", 4, 4, true);
print("counts " + TestCounts());
print("find by name: " + ObjectIsSame(EngineFindTexture(engine, "wall.tga"), wall));
print("find a missing one: " + ObjectIsValid(EngineFindTexture(engine, "none.tga")));
local made = EngineCreateTexture(engine, 8, 2, true);
local picture = TextureGetPicture(made);
print("created " + TestPictureSize(picture) + ", counts " + TestCounts());
EngineDeleteTexture(engine, wall);
print("deleted: counts " + TestCounts() + ", handle valid " + ObjectIsValid(wall));
TestGeometry("box", "red", "green");
TestGeometry("ball");
TestSound("step", 48000, 10);
EnginePrintResourceStatistics(engine);
EngineDeleteAllResources(engine);
print("all deleted: counts " + TestCounts() + ", created texture valid " + ObjectIsValid(made));
print("null engine: " + ObjectIsValid(EngineLoadSound(TestNullHandle(EngineTypeEngine), "x.wav")));
