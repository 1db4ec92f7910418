// Validity and identity of handles of any kind.
local item = TestHandle(EngineTypeItem);
local scene = TestHandle(EngineTypeScene);
local none = TestNullHandle(EngineTypeItem);
print("valid item " + ObjectIsValid(item) + ", null " + ObjectIsValid(none));
foreach (name in ["AIPathIsValid", "GeometryIsValid", "ItemIsValid", "MetatagIsValid", "TextureIsValid",
                  "WidgetIsValid", "WindowIsValid"])
    print(name + " " + getroottable()[name](item) + " " + getroottable()[name](none));
print("same object, other kinds: " + ObjectIsSame(item, scene));
print("null and object: " + ObjectIsSame(item, none));
print("two nulls: " + ObjectIsSame(none, TestNullHandle(EngineTypeScene)));
print("typeof " + typeof item);
print("null handle of the right kind passes: " + TestNeed(none, EngineTypeItem));
print("any kind accepted with 0: " + TestNeed(scene, 0));
