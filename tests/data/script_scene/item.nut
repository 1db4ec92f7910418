// Item functions on the items of items.zml: camera "eye", light "lamp",
// objects "crate" (motions "bob" and "spin") and "lid" (linked to crate),
// trigger "gate".
class MinMax { min = null; max = null; constructor() { min = Vector(); max = Vector(); } }

eye <- TestItem("eye");
lamp <- TestItem("lamp");
crate <- TestItem("crate");
lid <- TestItem("lid");
gate <- TestItem("gate");
none <- TestNullHandle(EngineTypeItem);
function Pair(a, b) { return a.tostring() + "," + b.tostring(); }

cases <- {
    type_of_each_kind = @() [ItemGetType(eye), ItemGetType(crate), ItemGetType(lamp), ItemGetType(gate)].reduce(@(a, b) a * 10 + b),
    type_of_null = @() ItemGetType(none),
    name = @() ItemGetName(lid),
    name_of_null = @() ItemGetName(none),
    compare_same = @() ItemCompare(crate, TestItem("crate")),
    compare_other = @() ItemCompare(crate, lid),
    compare_null = @() ItemCompare(none, none),

    derived_cast_of_light = @() ItemCompare(ItemDerivedCastToItem(ItemCastToLight(lamp)), lamp),
    derived_cast_of_sound = @() ObjectIsValid(ItemDerivedCastToItem(TestHandle(EngineTypeSound))),
    cast_to_light_keeps_object = @() ObjectIsSame(ItemCastToLight(lamp), lamp),

    scene_of_item = @() ObjectIsSame(ItemGetScene(crate), g_scene),
    scene_of_null = @() ObjectIsValid(ItemGetScene(none)),
    engine_of_null = @() ObjectIsValid(ItemGetEngine(none)),
    geometry_of_light = @() ObjectIsValid(ItemGetGeometry(lamp)),
    geometry_of_object_without_one = @() ObjectIsValid(ItemGetGeometry(crate)),

    logic_frequency = @() ItemGetScriptLogicFrequency(crate),
    logic_frequency_set = function() { ItemSetScriptLogicFrequency(lid, 30.0); return ItemGetScriptLogicFrequency(lid); },
    logic_frequency_of_null = @() ItemGetScriptLogicFrequency(none),

    command_list_done_when_empty = @() ItemIsCommandListDone(crate),
    command_list_runs = function() { ItemSetCommandList(lid, "toalpha 5,0;"); return ItemIsCommandListDone(lid); },
    command_list_reset = function() { ItemSetCommandList(gate, "toalpha 5,0;"); ItemResetCommandList(gate); return ItemIsCommandListDone(gate); },
    command_list_of_null = @() ItemIsCommandListDone(none),

    active = @() ItemIsActive(eye),
    deactivate = function() { ItemActivate(gate, false); local a = ItemIsActive(gate); ItemActivate(gate, true); return Pair(a, ItemIsActive(gate)); },
    deactivate_hierarchy = function() { ItemActivateHierarchy(crate, false); local r = Pair(ItemIsActive(crate), ItemIsActive(lid)); ItemActivateHierarchy(crate, true); return r; },
    active_of_null = @() ItemIsActive(none),

    flags_set = function() { ItemSetFlags(lamp, 1 | 8, true); return ItemGetFlags(lamp); },
    flags_clear_leaves_others = function() { ItemSetFlags(eye, 1 | 8, true); ItemSetFlags(eye, ItemFlagBillboard, false); return ItemGetFlags(eye); },
    flags_of_null = @() ItemGetFlags(none),

    exclude_from_record = function() { ItemSetExcludeFromRecord(gate, true); return ItemGetExcludeFromRecord(gate); },
    exclude_from_record_of_null = @() ItemGetExcludeFromRecord(none),

    alpha = function() { ItemSetAlpha(crate, 0.25); return ItemGetAlpha(crate); },
    alpha_of_null = @() ItemGetAlpha(none),

    position = @() ItemGetPosition(crate),
    position_set = function() { ItemSetPosition(TestItem("p1"), Vector(7.0, 8.0, 9.0)); return ItemGetPosition(TestItem("p1")); },
    position_of_null = @() ItemGetPosition(none),
    rotation_set = function() { ItemSetRotation(TestItem("p2"), Vector(0.5, 0.25, 0.125)); return ItemGetRotation(TestItem("p2")); },
    rotation_of_null = @() ItemGetRotation(none),
    scale = @() ItemGetScale(eye),
    scale_of_null = @() ItemGetScale(none),
    pivot_set = function() { ItemSetPivot(TestItem("p3"), Vector(1.0, 2.0, 3.0)); return ItemGetPivot(TestItem("p3")); },
    pivot_of_null = @() ItemGetPivot(none),
    world_position_after_compute = function() { local p = TestItem("p4"); ItemSetPosition(p, Vector(4.0, 5.0, 6.0)); ItemComputeMatrix(p); return ItemGetWorldPosition(p); },
    world_position_of_null = @() ItemGetWorldPosition(none),
    previous_world_position_of_null = @() ItemGetPreviousWorldPosition(none),

    matrix_set = function() { local m = Matrix4(); m.SetRow(3, Vector(1.0, 2.0, 3.0, 1.0)); ItemSetMatrix(TestItem("p5"), m); return ItemGetMatrix(TestItem("p5")); },
    matrix_of_null = @() ItemGetMatrix(none),
    inverse_matrix_of_null = @() ItemGetInverseMatrix(none),
    local_matrix_of_null = @() ItemGetLocalMatrix(none),
    rotation_matrix_of_null = @() ItemGetRotationMatrix(none),
    matrix_wrong_class = @() ItemSetMatrix(gate, Matrix3()),
    rotation_matrix_wrong_class = @() ItemSetRotationMatrix(gate, Matrix4()),
    snapshot_matrix = function() { local m = Matrix4(); m.SetRow(3, Vector(-1.0, -2.0, -3.0, 1.0)); ItemSnapshotMatrix(TestItem("p6"), m); return ItemGetPosition(TestItem("p6")); },

    rotation_order = function() { ItemSetRotationOrder(lid, 9); return ItemGetRotationOrder(lid); },
    rotation_order_default = @() ItemGetRotationOrder(crate),
    rotation_order_of_null = @() ItemGetRotationOrder(none),

    min_max_of_null = function() { local b = ItemGetMinMax(none); return Vector(b.min.x + b.max.x, b.min.y + b.max.y, b.min.z + b.max.z); },

    parent = @() ItemCompare(ItemGetParent(lid), crate),
    parent_none = @() ObjectIsValid(ItemGetParent(crate)),
    parent_of_null = @() ObjectIsValid(ItemGetParent(none)),
    unlink = function() { local p = TestItem("p7"); ItemSetLink(p, eye); local a = ItemCompare(ItemGetParent(p), eye); ItemSetParent(p, none); return Pair(a, ObjectIsValid(ItemGetParent(p))); },

    target_set = function() { ItemSetTarget(TestItem("p8"), Vector(1.0, 0.0, 0.0)); return ItemGetTarget(TestItem("p8")); },
    target_of_null = @() ItemGetTarget(none),
    target_offset = function() { ItemSetTargetOffsetRotation(TestItem("p8"), Vector(0.5, 0.0, 0.0)); return ItemGetTargetOffsetRotation(TestItem("p8")); },
    target_offset_of_null = @() ItemGetTargetOffsetRotation(none),

    setters_on_null_do_nothing = function() {
        ItemSetPosition(none, Vector()); ItemSetAlpha(none, 1.0); ItemSetFlags(none, 1, true); ItemActivate(none, false);
        ItemSetLink(none, crate); ItemSetTarget(none, Vector()); ItemSetScript(none, "a.nut", "A"); ItemReset(none);
        ItemSetRotationOrder(none, 1); ItemComputeMatrix(none); ItemSetCommandList(none, "toalpha 1,0;");
        return true;
    },
    position_needs_vector = @() ItemSetPosition(crate, 1),
};
