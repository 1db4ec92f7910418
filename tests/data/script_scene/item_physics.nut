// Rigid body and motion functions of the items of items.zml. Each case that
// changes an item has an item of its own (q1 .. q8, p1 .. p8), since the
// cases run in no fixed order.
crate <- TestItem("crate");
lid <- TestItem("lid");
none <- TestNullHandle(EngineTypeItem);
function Near(a, b) { return fabs(a - b) < 1e-5; }

cases <- {
    physic_mode_default = @() ItemGetPhysicMode(crate),
    physic_mode_set = function() { ItemSetPhysicMode(TestItem("q1"), 1); return ItemGetPhysicMode(TestItem("q1")); },
    physic_mode_of_null = @() ItemGetPhysicMode(none),
    physic_flags_only_add = function() {
        local q = TestItem("q2");
        ItemPhysicSetFlag(q, PhysicFlagNoGravity); ItemPhysicSetFlag(q, PhysicFlagGhost); ItemPhysicSetFlag(q, PhysicFlagNone);
        return ItemPhysicGetFlag(q);
    },
    physic_flags_of_null = @() ItemPhysicGetFlag(none),

    velocity_of_body_without_mode = function() { ItemSetLinearVelocity(TestItem("q3"), Vector(1.0, 2.0, 3.0)); return ItemGetLinearVelocity(TestItem("q3")); },
    velocity_of_awake_body = function() {
        local q = TestItem("q4"); ItemSetPhysicMode(q, 1); ItemSetLinearVelocity(q, Vector(3.0, 4.0, 0.0));
        return ItemGetLinearVelocity(q);
    },
    speed = function() {
        local q = TestItem("q5"); ItemSetPhysicMode(q, 1); ItemSetLinearVelocity(q, Vector(3.0, 4.0, 0.0));
        return ItemGetSpeed(q);
    },
    velocity_of_sleeping_body = function() {
        local q = TestItem("q6"); ItemSetPhysicMode(q, 1); ItemSetLinearVelocity(q, Vector(3.0, 4.0, 0.0)); ItemSleep(q);
        return ItemGetLinearVelocity(q).x + ItemGetLinearAcceleration(q).x + ItemGetPreviousLinearVelocity(q).x;
    },
    sleeping_then_woken = function() {
        local q = TestItem("q7"); ItemSetPhysicMode(q, 1); ItemSleep(q); local a = ItemIsSleeping(q); ItemWake(q);
        return a.tostring() + "," + ItemIsSleeping(q).tostring();
    },
    sleeping_of_null = @() ItemIsSleeping(none),
    speed_of_null = @() ItemGetSpeed(none),
    linear_velocity_of_null = @() ItemGetLinearVelocity(none),
    angular_velocity_set = function() { ItemSetAngularVelocity(TestItem("q8"), Vector(0.0, 1.0, 0.0)); return ItemGetAngularVelocity(TestItem("q8")); },
    angular_velocity_of_null = @() ItemGetAngularVelocity(none),
    centre_of_mass_of_null = @() ItemGetCenterOfMass(none),
    mass_of_null = @() ItemGetMass(none),
    mass_without_shapes = @() ItemGetMass(crate),
    physic_position_set = function() { ItemSetPhysicPosition(TestItem("p1"), Vector(1.0, 2.0, 3.0)); return ItemGetPhysicPosition(TestItem("p1")); },
    physic_position_of_null = @() ItemGetPhysicPosition(none),
    physic_rotation_set = function() {
        local p = TestItem("p2"); ItemSetPhysicRotation(p, Vector(0.0, 0.5, 0.0)); local r = ItemGetPhysicRotation(p);
        return Near(r.x, 0.0) && Near(r.y, 0.5) && Near(r.z, 0.0);
    },
    physic_rotation_of_null = @() ItemGetPhysicRotation(none),
    world_point_velocity_of_null = @() ItemWorldPointVelocity(none, Vector(1.0, 1.0, 1.0)),
    point_velocity_of_null = @() ItemPointVelocity(none, Vector(1.0, 1.0, 1.0)),
    collided = @() ItemCollided(crate),
    collided_of_null = @() ItemCollided(none),
    velocity_wrong_class = @() ItemSetLinearVelocity(lid, Matrix3()),
    inertia_wrong_class = @() ItemSetInertiaTensorAndCom(lid, Vector(), Vector()),

    motion_by_name = @() MotionGetName(ItemGetMotion(crate, "spin")),
    motion_missing = @() ObjectIsValid(ItemGetMotion(crate, "nothing")),
    motion_of_null = @() ObjectIsValid(ItemGetMotion(none, "bob")),
    motion_from_index = @() MotionGetName(ItemGetMotionFromIndex(crate, 1)),
    motion_from_index_out_of_range = @() ObjectIsValid(ItemGetMotionFromIndex(crate, 2)),
    motion_from_negative_index = @() ObjectIsValid(ItemGetMotionFromIndex(crate, -1)),

    slot_set = function() {
        local p = TestItem("p3"); ItemMotionSlotSet(p, 2, ItemGetMotion(crate, "bob"), 0.0, 1.0, 0.5, 2.0);
        return MotionGetName(ItemMotionSlotGet(p, 2)) + "," + ItemMotionSlotIsPlaying(p, 2) + "," + ItemMotionSlotGetTime(p, 2) + "," +
            ItemMotionSlotGetClockScale(p, 2) + "," + ItemMotionSlotIsDone(p, 2) + "," + ItemIsMotionPlaying(p) + "," + ItemIsMotionDone(p);
    },
    set_motion_alias = function() {
        local p = TestItem("p4"); ItemSetMotion(p, 0, ItemGetMotion(crate, "spin"), 0.0, 1.0, 0.0, 1.0);
        return MotionGetName(ItemMotionSlotGet(p, 0));
    },
    slot_four_ignored = function() {
        local p = TestItem("p5"); ItemMotionSlotSet(p, 4, ItemGetMotion(crate, "bob"), 0.0, 1.0, 0.5, 2.0); ItemMotionSlotSetTime(p, 4, 1.0);
        return ItemIsMotionPlaying(p) + "," + ItemMotionSlotIsPlaying(p, 4) + "," + ItemMotionSlotGetTime(p, 4) + "," +
            ItemMotionSlotGetClockScale(p, 4) + "," + ItemMotionSlotIsDone(p, 4) + "," + ObjectIsValid(ItemMotionSlotGet(p, 4));
    },
    negative_slot_ignored = function() {
        local p = TestItem("p6"); ItemMotionSlotSet(p, -1, ItemGetMotion(crate, "bob"), 0.0, 1.0, 0.5, 2.0);
        ItemMotionSlotSetClockScale(p, -1, 3.0); ItemMotionSlotSetTime(p, -4, 1.0);
        return ItemIsMotionPlaying(p) + "," + ItemMotionSlotGetTime(p, -1) + "," + ItemMotionSlotGetClockScale(p, -1) + "," +
            ItemMotionSlotIsPlaying(p, -1) + "," + ItemMotionSlotIsDone(p, -1);
    },
    slot_stop = function() {
        local p = TestItem("p7"); ItemMotionSlotSet(p, 1, ItemGetMotion(crate, "bob"), 0.0, 1.0, 0.0, 1.0); ItemMotionSlotStop(p, 1);
        return ItemMotionSlotIsPlaying(p, 1).tostring() + "," + ItemIsMotionDone(p);
    },
    stop_all = function() {
        local p = TestItem("p8"); ItemMotionSlotSet(p, 0, ItemGetMotion(crate, "bob"), 0.0, 1.0, 0.0, 1.0);
        ItemMotionSlotSet(p, 3, ItemGetMotion(crate, "spin"), 0.0, 1.0, 0.0, 1.0); ItemStopMotion(p);
        return ItemIsMotionPlaying(p);
    },
    slot_time_and_scale_set = function() {
        local q = TestItem("q1"); ItemMotionSlotSet(q, 0, ItemGetMotion(crate, "spin"), 0.0, 1.0, 0.0, 1.0);
        ItemMotionSlotSetTime(q, 0, 1.5); ItemMotionSlotSetClockScale(q, 0, 0.5);
        return ItemMotionSlotGetTime(q, 0) + ItemMotionSlotGetClockScale(q, 0);
    },
    slot_defaults_of_null = @() ItemMotionSlotGetTime(none, 0) + "," + ItemMotionSlotGetClockScale(none, 0) + "," +
        ItemMotionSlotIsDone(none, 0) + "," + ItemMotionSlotIsPlaying(none, 0) + "," + ObjectIsValid(ItemMotionSlotGet(none, 0)),
    player_clock_scale = function() { ItemMotionSetClockScale(TestItem("q2"), 0.5); return ItemMotionGetClockScale(TestItem("q2")); },
    player_clock_scale_default = @() ItemMotionGetClockScale(lid),
    player_clock_scale_of_null = @() ItemMotionGetClockScale(none),
    paused = function() { local q = TestItem("q3"); ItemMotionSetPaused(q, true); local a = ItemMotionGetPaused(q); ItemMotionSetPaused(q, false); return a + "," + ItemMotionGetPaused(q); },
    paused_of_null = @() ItemMotionGetPaused(none),
    playing_of_null = @() ItemIsMotionPlaying(none),
    done_of_null = @() ItemIsMotionDone(none),
    done_without_motion = @() ItemIsMotionDone(lid),
    replicate = function() {
        local src = TestItem("q4"); local dst = TestItem("q5");
        ItemMotionSlotSet(src, 1, ItemGetMotion(crate, "spin"), 0.0, 1.0, 0.0, 1.0); ItemMotionSlotSetTime(src, 1, 2.5);
        ItemReplicateItemMotion(dst, src);
        return MotionGetName(ItemMotionSlotGet(dst, 1)) + "," + ItemMotionSlotGetTime(dst, 1) + "," + ItemMotionSlotIsPlaying(dst, 0);
    },
    replicate_from_null_keeps_slots = function() {
        local q = TestItem("q6"); ItemMotionSlotSet(q, 0, ItemGetMotion(crate, "bob"), 0.0, 1.0, 0.0, 1.0);
        ItemReplicateItemMotion(q, none);
        return MotionGetName(ItemMotionSlotGet(q, 0));
    },
};
