// Motion functions on the motions of the paths in paths.zml.
local scene = g_scene;
SceneLoadAIPath(scene, g_data + "paths.zml");
local function MotionOf(name) { return AIPathGetMotion(SceneFindAIPath(scene, name)); }

patrol <- MotionOf("patrol");
single <- MotionOf("single");
flat <- MotionOf("flat");
fade <- MotionOf("fade");
empty <- MotionOf("empty");
none <- AIPathGetMotion(NullPath);

cases <- {
    name = @() MotionGetName(patrol),
    name_of_null = @() MotionGetName(none),
    name_of_empty = @() MotionGetName(empty),

    length = @() MotionGetLength(patrol),
    length_counts_every_channel = @() MotionGetLength(fade),
    length_without_channels = @() MotionGetLength(empty),
    length_of_null = @() MotionGetLength(none),
    length_of_one_key = @() MotionGetLength(single),

    // Keys (0, 0, 0) at 0, (10, 0, 0) at 1 and (10, 10, 0) at 2, linear.
    position_at_start = @() MotionEvaluatePosition(patrol, 0.0),
    position_first_half = @() MotionEvaluatePosition(patrol, 0.5),
    position_at_key = @() MotionEvaluatePosition(patrol, 1.0),
    position_second_half = @() MotionEvaluatePosition(patrol, 1.5),
    position_at_end = @() MotionEvaluatePosition(patrol, 2.0),
    // The channels store Constant past their ends; the function repeats.
    position_past_end_repeats = @() MotionEvaluatePosition(patrol, 2.5),
    position_far_past_end_repeats = @() MotionEvaluatePosition(patrol, 7.5),
    position_before_start_repeats = @() MotionEvaluatePosition(patrol, -0.5),
    position_of_one_key = @() MotionEvaluatePosition(single, 9.0),
    position_without_z = @() MotionEvaluatePosition(flat, 0.5),
    position_without_position = @() MotionEvaluatePosition(fade, 0.5),
    position_of_null = @() MotionEvaluatePosition(none, 0.5),
    position_is_a_new_vector = function() {
        local a = MotionEvaluatePosition(patrol, 0.5);
        local b = MotionEvaluatePosition(patrol, 0.5);
        a.x = 99.0;
        return b;
    },
    time_must_be_float = @() MotionEvaluatePosition(patrol, 1),
    name_needs_handle = @() MotionGetName("patrol"),
    length_needs_argument = @() MotionGetLength(),
};
