// Resource sets: a new set becomes current, loads go into it, and a set the
// script drops while it is current hands the core back its built-in set.
local engine = TestEngine();
local shared = TestTexture("shared.tga", 2, 2, true);
local builtIn = EngineGetResourceManagerSet(engine);

function SwitchAndBack(engine, builtIn, shared) {
    local set = NewResourceManagerSet();
    local previous = EngineSetResourceManagerSet(engine, set);
    print("previous is the built-in set: " + ObjectIsSame(previous, builtIn));
    print("current is the new set: " + ObjectIsSame(EngineGetResourceManagerSet(engine), set));
    print("the new set does not see the built-in textures: " + ObjectIsValid(EngineFindTexture(engine, "shared.tga")));
    local back = EngineSetResourceManagerSet(engine, TestNullHandle(EngineTypeResourceManagerSet));
    print("a null set selects the built-in set: " + ObjectIsSame(back, set) + " " + TestCurrentSetIsBuiltIn());
    EngineSetResourceManagerSet(engine, set);
    EngineDeleteTexture(engine, shared);
    print("a texture of another set is not deleted: " + TestCounts() + " " + ObjectIsValid(shared));
    print("leaving with the script's set current");
    return TestTexture("own.tga", 2, 2, true);
}

local own = SwitchAndBack(engine, builtIn, shared);
print("built-in current after release: " + TestCurrentSetIsBuiltIn());
print("texture of the released set: " + ObjectIsValid(own));
print("built-in counts " + TestCounts() + ", finds its texture: " +
      ObjectIsValid(EngineFindTexture(engine, "shared.tga")));
