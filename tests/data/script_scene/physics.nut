// Constraint and collision shape functions on physics.zml: "cube" (two
// shapes: a cuboid of mass 2, a sphere of mass 3; self mask 3, mask 5),
// "ball" (one sphere), "plain" (no shape), distance constraint "hold".
cube <- TestItem("cube");
ball <- TestItem("ball");
plain <- TestItem("plain");
noitem <- TestNullHandle(EngineTypeItem);
noshape <- TestNullHandle(EngineTypeCollisionShape);
noconstraint <- TestNullHandle(EngineTypePhysicConstraint);
function Pair(a, b) { return a.tostring() + "," + b.tostring(); }

cases <- {
    shape_mass = @() ShapeGetMass(ItemGetShapeFromIndex(cube, 1)),
    shape_mass_set = function() { local s = ItemGetShapeFromIndex(ball, 0); ShapeSetMass(s, 4.0); return ShapeGetMass(s); },
    shape_mass_of_null = @() ShapeGetMass(noshape),
    shape_item = @() ItemCompare(ShapeGetItem(ItemGetShapeFromIndex(cube, 0)), cube),
    shape_item_of_null = @() ObjectIsValid(ShapeGetItem(noshape)),
    shape_index_out_of_range = @() Pair(ObjectIsValid(ItemGetShapeFromIndex(cube, 2)), ObjectIsValid(ItemGetShapeFromIndex(cube, -1))),
    shape_of_item_without_shapes = @() ObjectIsValid(ItemGetShapeFromIndex(plain, 0)),
    shape_of_null_item = @() ObjectIsValid(ItemGetShapeFromIndex(noitem, 0)),
    item_mass_sums_shapes = @() ItemGetMass(cube),
    shape_setters_on_null = function() { ShapeSetMass(noshape, 1.0); ShapeSetRestitution(noshape, 1.0); ShapeSetFriction(noshape, 1.0, 1.0); return true; },

    hook_distance_of_null = @() ConstraintGetCurrentHookDistance(noconstraint),
    anchor_world_of_null = @() ConstraintGetAnchorHookWorld(noconstraint),
    target_world_of_null = @() ConstraintGetTargetHookWorld(noconstraint),
    constraint_setters_on_null = function() {
        ConstraintEnable(noconstraint, false); ConstraintSetStrength(noconstraint, 0.5); ConstraintSetMaximumErrorCorrection(noconstraint, 1.0);
        ConstraintSetAnchorRotation(noconstraint, Vector()); ConstraintSetAnchorItem(noconstraint, cube); ConstraintSetTargetItem(noconstraint, ball);
        ConstraintSetAnchorHook(noconstraint, Vector()); ConstraintSetTargetHook(noconstraint, Vector());
        ConstraintSetCorrectionVector(noconstraint, Vector(1.0, 0.0, 0.0)); ConstraintUseCorrectionVector(noconstraint, true);
        return true;
    },
    new_constraint = @() ObjectIsValid(PositionConstraintNew(g_scene, cube, ball, Vector(0.0, 0.5, 0.0), Vector(0.0, -0.5, 0.0))),
    new_constraint_null_scene = @() ObjectIsValid(PositionConstraintNew(TestNullHandle(EngineTypeScene), cube, ball, Vector(), Vector())),
    new_constraint_hook_wrong_class = @() PositionConstraintNew(g_scene, cube, ball, Matrix3(), Vector()),
    physic_mode_constants = @() PhysicModeNone * 100 + PhysicModeRigidBody * 10 + PhysicModeSoftBody,
    trace_constants = @() CollisionTraceMesh + CollisionTraceSphere + CollisionTraceCuboid + "," + CollisionTraceAll,
};
