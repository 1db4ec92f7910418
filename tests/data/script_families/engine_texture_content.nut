// "EngineSetTextureContent" hands a null or deleted texture to the engine,
// which refuses it with its own line; only a null engine is passed over quietly.
local engine = TestEngine();
print("null texture: " + EngineSetTextureContent(engine, TestNullHandle(EngineTypeTexture), "wall.tga"));
local wall = TestTexture("wall.tga", 4, 4, true);
EngineDeleteTexture(engine, wall);
print("deleted texture: " + EngineSetTextureContent(engine, wall, "wall.tga"));
print("null engine: " + EngineSetTextureContent(TestNullHandle(EngineTypeEngine), TestNullHandle(EngineTypeTexture), "wall.tga"));
