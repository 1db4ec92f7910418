// Constraint and collision shape functions through the engine's VM on the
// bodies, shapes and constraint of physics.zml.
#include "SceneScriptFixture.h"

#include "physic/collision/GColShape.h"
#include "physic/dynamics/Tau.h"
#include "physic/dynamics/TauConstraint.h"

namespace {

SQInteger TestConstraint(HSQUIRRELVM v)
{
    const SQChar* name = nullptr;
    sq_getstring(v, 2, &name);
    SqPushSafePtr(v, scenescript::currentScene->physics.constraints.FindByName(name), SqPtrPhysicConstraint);
    return 1;
}

class PhysicsScriptTest : public SceneScriptTest {
public:
    void SetUp() override
    {
        SceneScriptTest::SetUp();
        SqRegisterFunction(v, TestConstraint, "TestConstraint", "x|ts");
    }
    const char* SceneFile() const override { return "physics.zml"; }
    TauConstraint* Constraint(const char* name) const
    {
        return static_cast<TauConstraint*>(scene->physics.constraints.FindByName(name));
    }
};

TEST_F(PhysicsScriptTest, ShapeAndConstraintFunctions)
{
    RunCases("physics.nut", "script_scene");
    const zVector origin(0.0f, 0.0f, 0.0f, 1.0f);
    CheckAll({
        {"shape_mass", 3.0f},
        {"shape_mass_set", 4.0f},
        {"shape_mass_of_null", -1.0f},
        {"shape_item", true},
        {"shape_item_of_null", false},
        {"shape_index_out_of_range", std::string("false,false")},
        {"shape_of_item_without_shapes", false},
        {"shape_of_null_item", false},
        {"item_mass_sums_shapes", 5.0f},
        {"shape_setters_on_null", true},
        {"hook_distance_of_null", 0.1f},
        {"anchor_world_of_null", origin},
        {"target_world_of_null", origin},
        {"constraint_setters_on_null", true},
        {"new_constraint", true},
        {"new_constraint_null_scene", false},
        {"new_constraint_hook_wrong_class", zScriptError{"invalid instance type"}},
        {"physic_mode_constants", 12},
        {"trace_constants", std::string("7,-1")},
    });
}

TEST_F(PhysicsScriptTest, SettersReachShapesBodiesAndConstraints)
{
    ASSERT_TRUE(RunText("local s = ItemGetShapeFromIndex(TestItem(\"cube\"), 0);\n"
                        "ShapeSetRestitution(s, 0.75); ShapeSetFriction(s, 0.25, 0.125);\n"
                        "ItemSetSelfMask(TestItem(\"ball\"), 6); ItemSetCollisionMask(TestItem(\"ball\"), 9);\n"
                        "local c = TestConstraint(\"hold\");\n"
                        "ConstraintEnable(c, false); ConstraintSetStrength(c, 0.5); ConstraintSetMaximumErrorCorrection(c, 2.0);\n"
                        "ConstraintSetAnchorHook(c, Vector(1.0, 2.0, 3.0)); ConstraintSetTargetHook(c, Vector(4.0, 5.0, 6.0));\n"
                        "ConstraintSetCorrectionVector(c, Vector(0.0, 3.0, 4.0)); ConstraintUseCorrectionVector(c, true);\n"
                        "ConstraintSetAnchorRotation(c, Vector(0.0, 0.5, 0.0));\n"
                        "ConstraintSetAnchorItem(c, TestItem(\"plain\")); ConstraintSetTargetItem(c, TestNullHandle(EngineTypeItem));\n"));
    const GColShape* shape = Item("cube")->collisionItem.GetShape(0);
    EXPECT_FLOAT_EQ(0.75f, shape->Restitution);
    EXPECT_FLOAT_EQ(0.25f, shape->StaticFriction);
    EXPECT_FLOAT_EQ(0.125f, shape->DynamicFriction);
    EXPECT_EQ(6, Item("ball")->collisionItem.SelfMask);
    EXPECT_EQ(9, Item("ball")->collisionItem.Mask);
    const TauConstraint* c = Constraint("hold");
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(0, c->Enable);
    EXPECT_FLOAT_EQ(0.5f, c->Strength);
    EXPECT_FLOAT_EQ(2.0f, c->MaxErrorCorrection);
    EXPECT_FLOAT_EQ(3.0f, c->AnchorHook.z);
    EXPECT_FLOAT_EQ(4.0f, c->TargetHook.x);
    EXPECT_FLOAT_EQ(0.6f, c->correctionVector.y);
    EXPECT_FLOAT_EQ(0.8f, c->correctionVector.z);
    EXPECT_EQ(1, c->useCorrectionVector);
    EXPECT_FLOAT_EQ(zMatrix3::FromEuler(0.0f, 0.5f, 0.0f, 4).m[2], c->anchorRotation.m[2]);
    EXPECT_EQ(&Item("plain")->body, c->anchor);
    EXPECT_EQ(nullptr, c->target);
}

// A script-made position constraint belongs to the scene's physics world: it
// is solved with the others, a null item leaves its side without a body, and
// its handle goes stale when the scene's content is deleted.
TEST_F(PhysicsScriptTest, NewPositionConstraintJoinsTheWorld)
{
    const int32_t before = scene->physics.constraints.GetCount();
    ASSERT_TRUE(RunText("made <- PositionConstraintNew(g_scene, TestNullHandle(EngineTypeItem), TestItem(\"ball\"), Vector(0.0, 1.0, 0.0), Vector());\n"
                        "ConstraintSetStrength(made, 0.25);\n"));
    ASSERT_EQ(before + 1, scene->physics.constraints.GetCount());
    const auto* made = static_cast<TauConstraint*>(scene->physics.constraints.GetLast());
    EXPECT_EQ(TauConstraint::TypePosition, made->type);
    EXPECT_EQ(nullptr, made->anchor);
    EXPECT_EQ(&Item("ball")->body, made->target);
    EXPECT_FLOAT_EQ(1.0f, made->AnchorHook.y);
    EXPECT_FLOAT_EQ(0.25f, made->Strength);
    EXPECT_EQ(&scene->physics, made->world);

    scene->DeleteContent(true);
    std::string error;
    ASSERT_TRUE(RunText("valid <- ObjectIsValid(made); ConstraintSetStrength(made, 1.0);\n", &error)) << error;
    ASSERT_TRUE(RunText("__Assert(!valid, \"stale\");\n"));
    EXPECT_FALSE(log.Contains("Assertion failed"));
}

// Shapes go with their item: handles to them go stale.
TEST_F(PhysicsScriptTest, ShapeHandlesOfDeletedItemsGoStale)
{
    ASSERT_TRUE(RunText("shape <- ItemGetShapeFromIndex(TestItem(\"ball\"), 0);\n"));
    scene->DestroyItem(Item("ball"));
    ASSERT_TRUE(RunText("__Assert(!ObjectIsValid(shape), \"stale\"); __Assert(ShapeGetMass(shape) == -1.0, \"null\");\n"));
    EXPECT_FALSE(log.Contains("Assertion failed"));
}

TEST(PhysicsWrongKind, SuspendsTheVM)
{
    const WrongKindCase cases[] = {
        {"ShapeGetMass(TestHandle(EngineTypeItem))", "Expected 'Collision Shape' (34), got 'Item' (23)."},
        {"ShapeGetItem(TestHandle(EngineTypePhysicConstraint))",
         "Expected 'Collision Shape' (34), got 'Physic Constraint' (35)."},
        {"ItemGetShapeFromIndex(TestHandle(EngineTypeCollisionShape), 0)",
         "Expected 'Item' (23), got 'Collision Shape' (34)."},
        {"ConstraintEnable(TestHandle(EngineTypeCollisionShape), true)",
         "Expected 'Physic Constraint' (35), got 'Collision Shape' (34)."},
        {"ConstraintSetAnchorItem(TestNullHandle(EngineTypePhysicConstraint), TestHandle(EngineTypeObject))",
         "Expected 'Item' (23), got 'Object' (25)."},
        {"PositionConstraintNew(TestHandle(EngineTypeItem), TestNullHandle(EngineTypeItem), TestNullHandle(EngineTypeItem), Vector(), Vector())",
         "Expected 'Scene' (8), got 'Item' (23)."},
        {"PositionConstraintNew(TestNullHandle(EngineTypeScene), TestHandle(EngineTypeCamera), TestNullHandle(EngineTypeItem), Vector(), Vector())",
         "Expected 'Item' (23), got 'Camera' (24)."},
    };
    for (const WrongKindCase& c : cases)
        ExpectSuspends(c);
}

} // namespace
