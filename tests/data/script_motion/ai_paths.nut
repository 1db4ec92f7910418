// Path functions on the paths of paths.zml.
local scene = g_scene;
SceneLoadAIPath(scene, g_data + "paths.zml");

patrol <- SceneFindAIPath(scene, "patrol");
single <- SceneAIPathFind(scene, "single");
flat <- SceneFindAIPath(scene, "flat");
missing <- SceneFindAIPath(scene, "missing");
fromNullScene <- SceneFindAIPath(TestNullHandle(EngineTypeScene), "patrol");

class Spot {
    x = 12.0
    y = 7.0
    z = 0.0
}
class Marker extends Vector {}

cases <- {
    found = @() AIPathIsValid(patrol),
    found_by_other_name = @() AIPathIsValid(single),
    found_is_named_path = @() MotionGetName(AIPathGetMotion(patrol)),
    missing_is_null = @() ObjectIsValid(missing),
    // A Motion or Scene handle here would suspend the VM.
    missing_is_a_path = @() MotionGetName(AIPathGetMotion(missing)),
    null_scene_finds_nothing = @() ObjectIsValid(fromNullScene),
    null_scene_gives_a_path = @() MotionGetName(AIPathGetMotion(fromNullScene)),
    null_path_constant = @() ObjectIsValid(NullPath),
    null_path_motion = @() ObjectIsValid(AIPathGetMotion(NullPath)),
    motion_of_path = @() ObjectIsValid(AIPathGetMotion(patrol)),

    // Segments (0, 0, 0)-(10, 0, 0) over times 0-1 and (10, 0, 0)-(10, 10, 0) over 1-2.
    point_on_first = @() AIPathGetClosestPoint(patrol, Vector(5.0, 3.0, 7.0)),
    time_on_first = @() AIPathGetClosestTime(patrol, Vector(5.0, 3.0, 7.0)),
    point_on_second = @() AIPathGetClosestPoint(patrol, Vector(12.0, 7.0, 0.0)),
    time_on_second = @() AIPathGetClosestTime(patrol, Vector(12.0, 7.0, 0.0)),
    point_before_start = @() AIPathGetClosestPoint(patrol, Vector(-5.0, -5.0, 0.0)),
    time_before_start = @() AIPathGetClosestTime(patrol, Vector(-5.0, -5.0, 0.0)),
    point_after_end = @() AIPathGetClosestPoint(patrol, Vector(10.0, 20.0, 0.0)),
    time_after_end = @() AIPathGetClosestTime(patrol, Vector(10.0, 20.0, 0.0)),
    point_at_corner = @() AIPathGetClosestPoint(patrol, Vector(14.0, -3.0, 0.0)),
    time_at_corner = @() AIPathGetClosestTime(patrol, Vector(14.0, -3.0, 0.0)),
    point_w_is_one = @() AIPathGetClosestPoint(patrol, Vector(5.0, 3.0, 7.0, 9.0)).w,
    point_from_derived_vector = @() AIPathGetClosestPoint(patrol, Marker(12.0, 7.0, 0.0)),
    point_from_script_class = @() AIPathGetClosestPoint(patrol, Spot()),
    time_from_script_class = @() AIPathGetClosestTime(patrol, Spot()),

    point_single_node = @() AIPathGetClosestPoint(single, Vector(1.0, 2.0, 3.0)),
    time_single_node = @() AIPathGetClosestTime(single, Vector(1.0, 2.0, 3.0)),
    point_unbuilt = @() AIPathGetClosestPoint(flat, Vector(1.0, 2.0, 3.0)),
    time_unbuilt = @() AIPathGetClosestTime(flat, Vector(1.0, 2.0, 3.0)),
    point_null = @() AIPathGetClosestPoint(NullPath, Vector(1.0, 2.0, 3.0)),
    time_null = @() AIPathGetClosestTime(NullPath, Vector(1.0, 2.0, 3.0)),

    point_must_be_instance = @() AIPathGetClosestPoint(patrol, {x = 1.0, y = 2.0, z = 3.0}),
    name_must_be_string = @() SceneFindAIPath(scene, 3),
};
