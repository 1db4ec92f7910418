// Light, object, camera and group functions on items.zml: camera "eye" at
// (0, 0, -10), light "lamp", objects "crate" and "lid" (lid linked to crate),
// trigger "gate", group "box" (crate, lid). TestGeometry() is a unit box
// geometry; TestGroup(name) the scene's group of that name.
eye <- ItemCastToCamera(TestItem("eye"));
crate <- ItemCastToObject(TestItem("crate"));
lamp <- ItemCastToLight(TestItem("lamp"));
box <- TestGroup("box");
nocam <- TestNullHandle(EngineTypeCamera);
noobj <- TestNullHandle(EngineTypeObject);
nogroup <- TestNullHandle(EngineTypeSceneGroup);
function Near(a, b) { return fabs(a - b) < 1e-4; }
function Pair(a, b) { return a.tostring() + "," + b.tostring(); }

cases <- {
    light_item = @() ItemCompare(LightGetItem(lamp), TestItem("lamp")),
    light_diffuse_intensity = function() { LightSetDiffuseIntensity(lamp, 0.25); return TestLightIntensity("lamp"); },
    light_of_null = @() ObjectIsValid(LightGetItem(TestNullHandle(EngineTypeLight))),

    object_item = @() ItemCompare(ObjectGetItem(crate), TestItem("crate")),
    cast_light_to_object = @() ObjectIsValid(ItemCastToObject(TestItem("lamp"))),
    cast_null_to_object = @() ObjectIsValid(ItemCastToObject(TestNullHandle(EngineTypeItem))),
    object_geometry_none = @() ObjectIsValid(ObjectGetGeometry(crate)),
    object_geometry_set = function() {
        local o = ItemCastToObject(TestItem("p1")); ObjectSetGeometry(o, TestGeometry());
        local a = ObjectIsSame(ObjectGetGeometry(o), TestGeometry()); ObjectSetGeometry(o, NullGeometry);
        return Pair(a, ObjectIsValid(ObjectGetGeometry(o)));
    },
    object_geometry_of_null = function() { ObjectSetGeometry(noobj, TestGeometry()); return ObjectIsValid(ObjectGetGeometry(noobj)); },
    item_geometry_of_object = function() { local o = ItemCastToObject(TestItem("p2")); ObjectSetGeometry(o, TestGeometry()); return ObjectIsSame(ItemGetGeometry(TestItem("p2")), TestGeometry()); },
    skin_motion_missing_name = function() { ObjectSetSkinMotion(crate, "nothing", 0.0, 1.0, 0.0, true); ObjectSetSkinMotionClockScale(crate, 2.0); ObjectStopAllSkinMotion(crate); return true; },
    add_object = function() { local o = SceneAddObject(g_scene, "added"); return ItemGetName(ObjectGetItem(o)) + "," + ItemCompare(ObjectGetItem(o), TestItem("added")); },
    add_object_to_null_scene = @() ObjectIsValid(SceneAddObject(TestNullHandle(EngineTypeScene), "nowhere")),
    delete_object_is_queued = function() {
        local o = ItemCastToObject(TestItem("p3")); SceneDeleteObject(g_scene, o);
        return Pair(ObjectIsValid(o), TestIsQueued("p3"));
    },

    global_aspect = function() { local old = GetGlobalAspectRatio(); SetGlobalAspectRatio(1.5); local r = GetGlobalAspectRatio(); SetGlobalAspectRatio(old); return r; },
    add_camera = function() { local c = SceneAddCamera(g_scene, "added_eye"); return ItemGetType(CameraGetItem(c)); },
    add_camera_to_null_scene = @() ObjectIsValid(SceneAddCamera(TestNullHandle(EngineTypeScene), "nowhere")),
    current_camera = @() ItemCompare(CameraGetItem(SceneGetCurrentCamera(g_scene)), TestItem("eye")),
    current_camera_of_null = @() ObjectIsValid(SceneGetCurrentCamera(TestNullHandle(EngineTypeScene))),
    set_current_camera = function() {
        local c = SceneAddCamera(g_scene, "second"); SceneSetCurrentCamera(g_scene, c);
        local a = ItemGetName(CameraGetItem(SceneGetCurrentCamera(g_scene)));
        SceneSetCurrentCamera(g_scene, nocam);
        return a + "," + ItemGetName(CameraGetItem(SceneGetCurrentCamera(g_scene)));
    },
    camera_item = @() ItemCompare(CameraGetItem(eye), TestItem("eye")),
    fov_set = function() { local c = ItemCastToCamera(TestItem("cam2")); CameraSetFov(c, 1.0); return Near(CameraGetFov(c), 1.0); },
    fov_of_null = @() CameraGetFov(nocam),
    clipping = function() { local c = ItemCastToCamera(TestItem("cam2")); CameraSetClipping(c, 0.5, 100.0); return TestClipping("cam2"); },
    aspect = function() { local c = ItemCastToCamera(TestItem("cam3")); CameraSetAspectRatio(c, 1.25); return CameraGetAspectRatio(c); },
    aspect_of_null = @() CameraGetAspectRatio(nocam),
    aspect_ref_axis = function() { local c = ItemCastToCamera(TestItem("cam3")); CameraSetAspectRatioRefAxis(c, false); return TestRefAxis("cam3"); },
    null_camera_setters = function() { CameraSetFov(nocam, 1.0); CameraSetClipping(nocam, 1.0, 2.0); CameraSetAspectRatio(nocam, 1.0); return true; },
    cull_inside = function() {
        local o = ItemCastToObject(TestItem("p4")); ObjectSetGeometry(o, TestGeometry());
        ItemSetPosition(TestItem("p4"), Vector(0.0, 0.0, 5.0)); ItemComputeMatrix(TestItem("p4")); ItemComputeMatrix(TestItem("eye"));
        return CameraCullObject(eye, o);
    },
    cull_behind = function() {
        local o = ItemCastToObject(TestItem("p5")); ObjectSetGeometry(o, TestGeometry());
        ItemSetPosition(TestItem("p5"), Vector(0.0, 0.0, -50.0)); ItemComputeMatrix(TestItem("p5")); ItemComputeMatrix(TestItem("eye"));
        return CameraCullObject(eye, o);
    },
    cull_without_geometry = @() CameraCullObject(eye, crate),
    cull_null_camera = @() CameraCullObject(nocam, crate),
    world_to_screen_ahead = function() { ItemComputeMatrix(TestItem("eye")); local s = CameraWorldToScreen(eye, Vector(0.0, 0.0, 0.0)); return Near(s.x, 0.5) && Near(s.y, 0.5); },
    world_to_screen_behind = function() { ItemComputeMatrix(TestItem("eye")); return CameraWorldToScreen(eye, Vector(0.0, 0.0, -20.0)); },
    world_to_screen_null = @() CameraWorldToScreen(nocam, Vector(0.0, 0.0, 0.0)),
    screen_to_world_null = @() CameraScreenToWorld(nocam, 0.5, 0.5),
    screen_to_world_centre = function() { ItemComputeMatrix(TestItem("eye")); local p = CameraScreenToWorld(eye, 0.5, 0.5); return Near(p.x, 0.0) && Near(p.y, 0.0) && p.z > -10.0; },

    group_items = function() { local l = GroupGetItemList(box); return l.len() + ":" + ItemGetName(l[0]) + "," + ItemGetName(l[1]); },
    group_items_of_null = @() GroupGetItemList(nogroup).len(),
    group_find = @() ItemCompare(GroupFindItem(box, "lid"), TestItem("lid")),
    group_find_missing = @() ObjectIsValid(GroupFindItem(box, "gate")),
    group_find_of_null = @() ObjectIsValid(GroupFindItem(nogroup, "lid")),
    group_member = @() Pair(GroupItemIsMember(box, TestItem("crate")), GroupItemIsMember(box, TestItem("gate"))),
    group_root = function() { local g = TestGroup("pair"); GroupSetRootItem(g, TestItem("q1")); return ItemCompare(GroupGetRootItem(g), TestItem("q1")); },
    group_root_of_null = @() ObjectIsValid(GroupGetRootItem(nogroup)),
    group_constraint_missing = @() ObjectIsValid(GroupFindConstraint(box, "none")),
    group_activate = function() { local g = TestGroup("pair"); GroupActivate(g, false); local a = ItemIsActive(TestItem("q2")); GroupActivate(g, true); return Pair(a, ItemIsActive(TestItem("q2"))); },
    group_offset_wrong_class = @() GroupOffsetMatrix(box, Matrix3()),
    group_null_does_nothing = function() {
        GroupSetup(nogroup); GroupSetupScript(nogroup); GroupReset(nogroup); GroupActivate(nogroup, false); GroupSetInvisible(nogroup, true);
        GroupSetRootItem(nogroup, TestItem("q1")); GroupOffsetMatrix(nogroup, Matrix4()); GroupSetMotion(nogroup, "bob", 0.0, 1.0);
        GroupSetMotionFromIndex(nogroup, 0, 0.0, 0.0); GroupSetMotionClockScale(nogroup, 2.0);
        return true;
    },
    group_set_motion = function() { local g = TestGroup("movers"); GroupSetMotion(g, "bob", 0.0, 1.0); return MotionGetName(ItemMotionSlotGet(TestItem("crate2"), 0)); },
    group_motion_clock_scale = function() { local g = TestGroup("movers"); GroupSetMotionClockScale(g, 0.5); return ItemMotionSlotGetClockScale(TestItem("crate2"), 0); },
};
