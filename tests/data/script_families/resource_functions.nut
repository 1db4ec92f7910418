// Texture, sound and geometry functions, with null handles and pictures
// whose pixels were let go after upload.
local rows = [
    ["duration 24000 frames at 48 kHz", @() SoundGetDuration(TestSound("a", 48000, 24000))],
    ["duration of one frame", @() SoundGetDuration(TestSound("b", 48000, 1))],
    ["duration at rate 0", @() SoundGetDuration(TestSound("c", 0, 48000))],
    ["duration of 2^31-1 frames at 44.1 kHz", @() SoundGetDuration(TestSound("d", 44100, 2147483647))],
    ["duration of a null sound", @() SoundGetDuration(TestNullHandle(EngineTypeSound))],
    ["stream state on NullTexture", @() TextureSetStreamState(NullTexture, StreamPaused)],
    ["stream state on a still texture", @() TextureSetStreamState(TestTexture("still", 2, 2, true), StreamPlaying)],
    ["rewind a still texture", @() TextureRewindStream(TestTexture("still2", 2, 2, true))],
    ["picture of a texture", @() ObjectIsValid(TextureGetPicture(TestTexture("pix", 3, 5, true)))],
    ["picture whose pixels were released", @() ObjectIsValid(TextureGetPicture(TestTexture("gone", 3, 5, false)))],
    ["picture of NullTexture", @() ObjectIsValid(TextureGetPicture(NullTexture))],
    ["update a texture", @() TextureUpdate(TestTexture("upd", 6, 7, true))],
    ["update one whose pixels were released", @() TextureUpdate(TestTexture("upd2", 6, 7, false))],
    ["stream constants", @() StreamPlaying + " " + StreamPaused],
];
foreach (row in rows) {
    local call = row[1];
    local result = call();
    print(row[0] + ": " + (result == null ? "-" : result));
}

local box = TestGeometry("box.zml", "red", "green");
local none = TestNullHandle(EngineTypeGeometry);
print("name " + GeometryGetName(box) + ", null " + GeometryGetName(none));
GeometrySetHidden(box, true);
GeometrySetHidden(none, true);
print("material green valid " + ObjectIsValid(GeometryGetMaterial(box, "green")) + ", missing " +
      ObjectIsValid(GeometryGetMaterial(box, "blue")));
print("by index 1 is green: " + ObjectIsSame(GeometryGetMaterialFromIndex(box, 1), GeometryGetMaterial(box, "green")));
print("index 2 " + ObjectIsValid(GeometryGetMaterialFromIndex(box, 2)) + ", index -1 " +
      ObjectIsValid(GeometryGetMaterialFromIndex(box, -1)));
