// The item family (identity, state, transformation, rigid body, motions)
// through the engine's VM on the items of items.zml.
#include "SceneScriptFixture.h"

#include "core/item/zItem.h"
#include "manager/motion/zMotion.h"

#include <cmath>

namespace {

const zVector kMinusOne(-1.0f, -1.0f, -1.0f, 1.0f);
const zVector kOrigin(0.0f, 0.0f, 0.0f, 1.0f);

zMatrix4 Translation(float x, float y, float z)
{
    zMatrix4 m;
    m.SetRow(3, zVector(x, y, z, 1.0f), true);
    return m;
}

class ItemScriptTest : public SceneScriptTest {};

TEST_F(ItemScriptTest, ItemFunctions)
{
    RunCases("item.nut", "script_scene");
    CheckAll({
        {"type_of_each_kind", 1234},
        {"type_of_null", 0},
        {"name", std::string("lid")},
        {"name_of_null", std::string("0x0: Item pointer is null.")},
        {"compare_same", true},
        {"compare_other", false},
        {"compare_null", true},
        {"derived_cast_of_light", true},
        {"derived_cast_of_sound", false},
        {"cast_to_light_keeps_object", true},
        {"scene_of_item", true},
        {"scene_of_null", false},
        {"engine_of_null", false},
        {"geometry_of_light", false},
        {"geometry_of_object_without_one", false},
        {"logic_frequency", 15.0f},
        {"logic_frequency_set", 30.0f},
        {"logic_frequency_of_null", -1.0f},
        {"command_list_done_when_empty", true},
        {"command_list_runs", false},
        {"command_list_reset", true},
        {"command_list_of_null", true},
        {"active", true},
        {"deactivate", std::string("false,true")},
        {"deactivate_hierarchy", std::string("false,false")},
        {"active_of_null", false},
        {"flags_set", 9},
        {"flags_clear_leaves_others", 8},
        {"flags_of_null", 0},
        {"exclude_from_record", true},
        {"exclude_from_record_of_null", false},
        {"alpha", 0.25f},
        {"alpha_of_null", -1.0f},
        {"position", zVector(1.0f, 2.0f, 3.0f, 1.0f)},
        {"position_set", zVector(7.0f, 8.0f, 9.0f, 1.0f)},
        {"position_of_null", kMinusOne},
        {"rotation_set", zVector(0.5f, 0.25f, 0.125f, 1.0f)},
        {"rotation_of_null", kMinusOne},
        {"scale", zVector(1.0f, 1.0f, 1.0f, 1.0f)},
        {"scale_of_null", kMinusOne},
        {"pivot_set", zVector(1.0f, 2.0f, 3.0f, 1.0f)},
        {"pivot_of_null", kMinusOne},
        {"world_position_after_compute", zVector(4.0f, 5.0f, 6.0f, 1.0f)},
        {"world_position_of_null", kMinusOne},
        {"previous_world_position_of_null", kMinusOne},
        {"matrix_set", Translation(1.0f, 2.0f, 3.0f)},
        {"matrix_of_null", IdentityMatrix4},
        {"inverse_matrix_of_null", IdentityMatrix4},
        {"local_matrix_of_null", IdentityMatrix4},
        {"rotation_matrix_of_null", IdentityMatrix3},
        {"matrix_wrong_class", zScriptError{"invalid instance type"}},
        {"rotation_matrix_wrong_class", zScriptError{"invalid instance type"}},
        {"snapshot_matrix", zVector(-1.0f, -2.0f, -3.0f, 1.0f)},
        {"rotation_order", 9},
        {"rotation_order_default", 4},
        {"rotation_order_of_null", 0},
        {"min_max_of_null", kOrigin},
        {"parent", true},
        {"parent_none", false},
        {"parent_of_null", false},
        {"unlink", std::string("true,false")},
        {"target_set", zVector(1.0f, 0.0f, 0.0f, 1.0f)},
        {"target_of_null", kOrigin},
        {"target_offset", zVector(0.5f, 0.0f, 0.0f, 1.0f)},
        {"target_offset_of_null", kMinusOne},
        {"setters_on_null_do_nothing", true},
        {"position_needs_vector", zScriptError{"parameter 2 has an invalid type 'integer' ; expected: 'instance'"}},
    });
}

// Setters whose effect scripts cannot read back reach the engine's fields.
TEST_F(ItemScriptTest, SettersReachTheEngine)
{
    ASSERT_TRUE(RunText("ItemSetInvisible(TestItem(\"crate\"), true);\n"
                        "ItemSetLinkInheritsPositionOnly(TestItem(\"lid\"), true);\n"
                        "ItemSetPriority(TestItem(\"gate\"), 0.75);\n"
                        "ItemSetRotationQuaternion(TestItem(\"q1\"), Vector(0.0, 1.0, 0.0));\n"
                        "local r = Matrix3(); r.SetRow(0, Vector(0.0, 1.0, 0.0)); ItemSetRotationMatrix(TestItem(\"q2\"), r);\n"
                        "ItemSetOrientationMethod(TestItem(\"q3\"), OrientationQuaternion);\n"
                        "local m = Matrix4(); m.SetRow(3, Vector(1.0, 2.0, 3.0, 1.0)); ItemSetLogicTransformation(TestItem(\"q4\"), m);\n"
                        "ItemSetScript(TestItem(\"q5\"), \"unit.nut\", \"Unit\");\n"));
    EXPECT_NE(0u, Item("crate")->GetCoreItem()->flags & zItem::Invisible);
    EXPECT_NE(0u, Item("lid")->GetCoreItem()->flags & zItem::LinkOnlyPosition);
    EXPECT_FLOAT_EQ(0.75f, Item("gate")->priority);
    const zQuaternion q = zQuaternion::FromEuler(0.0f, 1.0f, 0.0f, 4);
    EXPECT_FLOAT_EQ(q.y, Item("q1")->GetCoreItem()->quaternion.y);
    EXPECT_FLOAT_EQ(q.w, Item("q1")->GetCoreItem()->quaternion.w);
    EXPECT_FLOAT_EQ(1.0f, Item("q2")->GetCoreItem()->orientation.GetRow(0).y);
    EXPECT_EQ(zItem::OrientationQuaternion, Item("q3")->GetCoreItem()->orientationMethod);
    EXPECT_FLOAT_EQ(2.0f, Item("q4")->logicTransformation.GetRow(3).y);
    EXPECT_STREQ("unit.nut", Item("q5")->script.Script.Get());
    EXPECT_STREQ("Unit", Item("q5")->script.Class.Get());
}

TEST_F(ItemScriptTest, PrintLogsTheAddress)
{
    ASSERT_TRUE(RunText("ItemPrint(TestItem(\"crate\"));\n"));
    const std::string expected =
        "Item at address @" + std::to_string(reinterpret_cast<uintptr_t>(Item("crate"))) + ".";
    EXPECT_EQ(1u, LogCount(expected));
}

// The cast to a light stops the run on an item of another kind or a null item.
TEST(ItemCastToLight, SuspendsOnOtherKinds)
{
    for (const char* call : {"ItemCastToLight(TestNullHandle(EngineTypeItem))"}) {
        SCOPED_TRACE(call);
        LogCapture log;
        zScriptMaster master;
        ASSERT_TRUE(master.StartVM());
        HSQUIRRELVM v = master.GetVM();
        SqRegisterBindings(v);
        scenescript::RegisterTestFunctions(v);
        const std::string source = std::string(call) + ";\n";
        ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, source.c_str(), SQInteger(source.size()), "case", SQTrue)));
        sq_pushroottable(v);
        sq_call(v, 1, SQFalse, SQFalse);
        EXPECT_EQ(SQ_VMSTATE_SUSPENDED, sq_getvmstate(v));
        EXPECT_TRUE(log.Contains("Item is NULL."));
        master.StopVM();
    }
}

TEST_F(ItemScriptTest, CastToLightOfAnObjectSuspends)
{
    RunText("ItemCastToLight(TestItem(\"crate\"));\n");
    EXPECT_EQ(SQ_VMSTATE_SUSPENDED, sq_getvmstate(v));
    EXPECT_EQ(1u, LogCount("Item is not a light."));
}

TEST_F(ItemScriptTest, PhysicsAndMotionFunctions)
{
    RunCases("item_physics.nut", "script_scene");
    CheckAll({
        {"physic_mode_default", 0},
        {"physic_mode_set", 1},
        {"physic_mode_of_null", 0},
        {"physic_flags_only_add", 9},
        {"physic_flags_of_null", 0},
        {"velocity_of_body_without_mode", kOrigin},
        {"velocity_of_awake_body", zVector(3.0f, 4.0f, 0.0f, 1.0f)},
        {"speed", 5.0f},
        {"velocity_of_sleeping_body", 0.0f},
        {"sleeping_then_woken", std::string("true,false")},
        {"sleeping_of_null", false},
        {"speed_of_null", 0.0f},
        {"linear_velocity_of_null", kOrigin},
        {"angular_velocity_set", zVector(0.0f, 1.0f, 0.0f, 1.0f)},
        {"angular_velocity_of_null", kOrigin},
        {"centre_of_mass_of_null", kOrigin},
        {"mass_of_null", 0.0f},
        {"mass_without_shapes", 0.0f},
        {"physic_position_set", zVector(1.0f, 2.0f, 3.0f, 1.0f)},
        {"physic_position_of_null", kOrigin},
        {"physic_rotation_set", true},
        {"physic_rotation_of_null", kOrigin},
        {"world_point_velocity_of_null", kOrigin},
        {"point_velocity_of_null", kOrigin},
        {"collided", false},
        {"collided_of_null", false},
        {"velocity_wrong_class", zScriptError{"invalid instance type"}},
        {"inertia_wrong_class", zScriptError{"invalid instance type"}},
        {"motion_by_name", std::string("spin")},
        {"motion_missing", false},
        {"motion_of_null", false},
        {"motion_from_index", std::string("spin")},
        {"motion_from_index_out_of_range", false},
        {"motion_from_negative_index", false},
        {"slot_set", std::string("bob,true,0.5,2,false,true,false")},
        {"set_motion_alias", std::string("spin")},
        {"slot_four_ignored", std::string("false,false,-1,0,true,false")},
        {"negative_slot_ignored", std::string("false,-1,0,false,true")},
        {"slot_stop", std::string("false,true")},
        {"stop_all", false},
        {"slot_time_and_scale_set", 2.0f},
        {"slot_defaults_of_null", std::string("-1,0,true,false,false")},
        {"player_clock_scale", 0.5f},
        {"player_clock_scale_default", 1.0f},
        {"player_clock_scale_of_null", -1.0f},
        {"paused", std::string("true,false")},
        {"paused_of_null", false},
        {"playing_of_null", false},
        {"done_of_null", true},
        {"done_without_motion", true},
        {"replicate", std::string("spin,2.5,false")},
        {"replicate_from_null_keeps_slots", std::string("bob")},
    });
}

// The torque is given in the body's own axes: unchanged for an unrotated
// body, turned with a rotated one.
TEST_F(ItemScriptTest, TorqueTurnsWithTheBody)
{
    zMItem* plain = Item("q1");
    zMItem* turned = Item("q2");
    plain->body.state.torque = zVector(0.0f, 0.0f, 0.0f, 0.0f);
    turned->body.state.torque = zVector(0.0f, 0.0f, 0.0f, 0.0f);
    // A quarter turn about z: the body's x axis points along world y.
    turned->body.state.rotation = zMatrix3::FromEuler(0.0f, 0.0f, 1.5707964f, 4);
    ASSERT_TRUE(RunText("ItemApplyTorque(TestItem(\"q1\"), Vector(1.0, 2.0, 3.0));\n"
                        "ItemApplyTorque(TestItem(\"q2\"), Vector(1.0, 0.0, 0.0));\n"));
    EXPECT_FLOAT_EQ(1.0f, plain->body.state.torque.x);
    EXPECT_FLOAT_EQ(2.0f, plain->body.state.torque.y);
    EXPECT_FLOAT_EQ(3.0f, plain->body.state.torque.z);
    const zVector axis = turned->body.state.rotation.GetRow(0);
    EXPECT_NEAR(axis.x, turned->body.state.torque.x, 1e-6f);
    EXPECT_NEAR(axis.y, turned->body.state.torque.y, 1e-6f);
    EXPECT_NEAR(1.0f, std::fabs(turned->body.state.torque.y), 1e-6f);
}

// Forces and impulses go to the body with their arguments in script order.
TEST_F(ItemScriptTest, ForcesReachTheBody)
{
    zMItem* q = Item("q3");
    q->body.state.force = zVector(0.0f, 0.0f, 0.0f, 0.0f);
    ASSERT_TRUE(RunText("ItemApplyLinearForce(TestItem(\"q3\"), Vector(0.0, 5.0, 0.0));\n"
                        "ItemSetLinearDamping(TestItem(\"q4\"), 0.5);\n"
                        "ItemSetAngularDamping(TestItem(\"q4\"), 0.25);\n"
                        "ItemSetGravityScale(TestItem(\"q4\"), 2.0);\n"
                        "ItemSetPhysicRotation(TestItem(\"q5\"), Vector(0.25, 0.5, 0.0));\n"));
    // The body's quaternion is built from the angles in the default order.
    const zQuaternion expected = zQuaternion::FromEuler(0.25f, 0.5f, 0.0f, 4);
    const zQuaternion& got = Item("q5")->body.state.orientation;
    EXPECT_FLOAT_EQ(expected.x, got.x);
    EXPECT_FLOAT_EQ(expected.y, got.y);
    EXPECT_FLOAT_EQ(expected.w, got.w);
    EXPECT_FLOAT_EQ(5.0f, q->body.state.force.y);
    EXPECT_FLOAT_EQ(0.5f, Item("q4")->body.LinearDamping);
    EXPECT_FLOAT_EQ(0.25f, Item("q4")->body.AngularDamping);
    EXPECT_FLOAT_EQ(2.0f, Item("q4")->body.GravityScale);
}

TEST(ItemWrongKind, SuspendsTheVM)
{
    const WrongKindCase cases[] = {
        {"ItemGetType(TestHandle(EngineTypeCamera))", "Expected 'Item' (23), got 'Camera' (24)."},
        {"ItemGetPosition(TestHandle(EngineTypeLight))", "Expected 'Item' (23), got 'Light' (26)."},
        {"ItemSetPosition(TestHandle(EngineTypeScene), Vector())", "Expected 'Item' (23), got 'Scene' (8)."},
        {"ItemCompare(TestNullHandle(EngineTypeItem), TestHandle(EngineTypeObject))",
         "Expected 'Item' (23), got 'Object' (25)."},
        {"ItemSetLink(TestNullHandle(EngineTypeItem), TestHandle(EngineTypeMotion))",
         "Expected 'Item' (23), got 'Motion' (27)."},
        {"ItemGetSpeed(TestHandle(EngineTypeMotion))", "Expected 'Item' (23), got 'Motion' (27)."},
        {"ItemMotionSlotSet(TestNullHandle(EngineTypeItem), 0, TestHandle(EngineTypeItem), 0.0, 1.0, 0.0, 1.0)",
         "Expected 'Motion' (27), got 'Item' (23)."},
        {"ItemReplicateItemMotion(TestNullHandle(EngineTypeItem), TestHandle(EngineTypeTrigger))",
         "Expected 'Item' (23), got 'Trigger' (28)."},
    };
    for (const WrongKindCase& c : cases)
        ExpectSuspends(c);
}

} // namespace
