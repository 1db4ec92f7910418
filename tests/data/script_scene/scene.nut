// Scene functions on items.zml (camera "eye", light "lamp", objects "crate"
// and "lid" under it, trigger "gate" at (10, 0, 0) scaled (2, 4, 1), groups
// "box", "pair", "movers") and on physics.zml read into groups.
scene <- g_scene;
noscene <- TestNullHandle(EngineTypeScene);
function Pair(a, b) { return a.tostring() + "," + b.tostring(); }
// Read before any case runs: cases add items and may run in any order.
initial_items <- SceneGetItemList(scene);
initial_hold <- SceneFindConstraint(scene, "hold");

cases <- {
    ambient_intensity = function() { SceneSetAmbientIntensity(scene, 0.5); return SceneGetAmbientIntensity(scene); },
    ambient_intensity_of_null = @() SceneGetAmbientIntensity(noscene),
    ambient_colour = function() { SceneSetAmbientColor(scene, Vector(0.25, 0.5, 0.75, 0.5)); return SceneGetAmbientColor(scene); },
    ambient_colour_of_null = @() SceneGetAmbientColor(noscene),
    fog_off_keeps_colour = function() { SceneSetFog(scene, false, Vector(0.1, 0.2, 0.3, 1.0), 5.0, 50.0); return SceneGetFogColor(scene).z + "," + SceneGetFogNear(scene) + "," + SceneGetFogFar(scene); },
    fog_of_null = @() SceneGetFogNear(noscene) + "," + SceneGetFogFar(noscene) + "," + SceneGetFogColor(noscene).w,

    item_list = function() { local l = initial_items; return l.len() + ":" + ItemGetName(l[0]) + "," + ItemGetName(l[4]); },
    item_list_of_null = @() SceneGetItemList(noscene).len(),
    find_item = @() ItemCompare(SceneFindItem(scene, "lid"), TestItem("lid")),
    find_item_missing = @() ObjectIsValid(SceneFindItem(scene, "nothing")),
    find_item_child = @() ItemCompare(SceneFindItemChild(scene, TestItem("crate"), "lid"), TestItem("lid")),
    find_item_child_elsewhere = @() ObjectIsValid(SceneFindItemChild(scene, TestItem("eye"), "lid")),
    duplicate_item = function() { local d = SceneDuplicateItem(scene, TestItem("gate")); return Pair(ObjectIsValid(d), ItemCompare(d, TestItem("gate"))); },
    duplicate_null = @() ObjectIsValid(SceneDuplicateItem(scene, NullItem)),
    find_group = @() GroupGetItemList(SceneFindGroup(scene, "box")).len(),
    find_group_missing = @() ObjectIsValid(SceneFindGroup(scene, "nothing")),
    find_group_of_null = @() ObjectIsValid(SceneFindGroup(noscene, "box")),

    add_light = function() { local l = SceneAddLight(scene, "added_lamp"); return ItemGetType(LightGetItem(l)) + "," + ItemGetName(LightGetItem(l)); },
    add_light_to_null_scene = @() ObjectIsValid(SceneAddLight(noscene, "x")),
    delete_missing_light = function() { SceneDeleteLight(scene, "nothing"); return true; },

    physic_frequency = function() { SceneSetPhysicFrequency(scene, 120.0); return SceneGetPhysicFrequency(scene); },
    physic_frequency_refused = function() { SceneSetPhysicFrequency(scene, 90.0); SceneSetPhysicFrequency(scene, -1.0); return SceneGetPhysicFrequency(scene); },
    physic_frequency_of_null = @() SceneGetPhysicFrequency(noscene),
    find_constraint_missing = @() ObjectIsValid(initial_hold),

    trigger_ray_hit = @() ItemCompare(SceneRaytraceTriggerList(scene, Vector(10.0, 10.0, 0.0), Vector(0.0, -1.0, 0.0), -1), TestItem("gate")),
    trigger_ray_short = @() ObjectIsValid(SceneRaytraceTriggerList(scene, Vector(10.0, 10.0, 0.0), Vector(0.0, -1.0, 0.0), 5)),
    trigger_ray_long_enough = @() ObjectIsValid(SceneRaytraceTriggerList(scene, Vector(10.0, 10.0, 0.0), Vector(0.0, -1.0, 0.0), 9)),
    trigger_ray_miss = @() ObjectIsValid(SceneRaytraceTriggerList(scene, Vector(12.0, 10.0, 0.0), Vector(0.0, -1.0, 0.0), -1)),
    trigger_ray_behind = @() ObjectIsValid(SceneRaytraceTriggerList(scene, Vector(10.0, 10.0, 0.0), Vector(0.0, 1.0, 0.0), -1)),
    collision_ray_of_null = @() SceneCollisionRaytrace(noscene, Vector(), Vector(), -1, -1).len(),

    load_missing_file = @() ObjectIsValid(SceneFromZMLStoreGroup(scene, g_data + "missing.zml", FlagLoadAll)),
    from_file_of_null = @() SceneFromFile(noscene, g_data + "physics.zml"),

    constants = @() FlagLoadCamera + FlagLoadLight + FlagLoadObject + FlagLoadTrigger + FlagLoadGroup + FlagLoadSettings + FlagLoadMotion +
        FlagLoadGlobals + FlagLoadCollision + FlagLoadPhysic + FlagLoadPath + "," + FlagLoadAll + "," + SceneRenderFlagDefault,
    null_item_constant = @() ObjectIsValid(NullItem),
    setters_on_null = function() {
        SceneSetup(noscene); SceneReset(noscene); SceneUpdate(noscene); SceneEnd(noscene); SceneSetFog(noscene, true, Vector(), 1.0, 2.0);
        SceneDeleteLight(noscene, "lamp"); SceneDeleteAllLights(noscene); SceneDeleteItem(noscene, NullItem); SceneFlushDeletionQueue(noscene);
        SceneRender(noscene, 1); SceneRenderToQueue(noscene); SceneRenderUI(noscene); SceneSetGravity(noscene, Vector());
        SceneDebugPhysicSystem(noscene); SceneDebugCollisionSystem(noscene); SceneDeleteContent(noscene);
        return true;
    },
};
