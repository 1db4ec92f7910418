#include "manager_binding/MathScriptFixture.h"

namespace {

zVector WithW1(const zVector& v)
{
    return zVector(v.x, v.y, v.z, 1.0f);
}

TEST_F(MathScriptTest, MathFunctionsAndChainsAcrossClasses)
{
    RunCases("math_functions.nut");
    const zVector dir = Global("dir");
    const zVector pos = Global("pos");
    const zVector angles = Global("angles");
    const zVector scale = Global("scale");
    const zVector pivot = Global("pivot");
    const zMatrix3 rot = GlobalMatrix3("rot");
    ASSERT_EQ(5.0f, dir.w);

    const zMatrix3 fromDir = zMatrix3::FromDirection(WithW1(dir));
    const zMatrix4 transform = zMatrix4::FromTransformation(pos, angles, scale, pivot);
    const zMatrix3 vertical = zMatrix3::FromDirection(zVector(0, 1, 0));
    zMatrix4 loopMatrix;
    loopMatrix.SetRow(3, zVector(0.5f, 0.0f, -0.5f), true);
    zVector acc(0, 0, 0);
    for (int i = 0; i < 10; ++i)
        acc = (acc + pos).Transform(loopMatrix);
    const zVector roundTrip =
        zMatrix3::FromMatrix4(zMatrix4::FromTransformation(zVector(0, 0, 0), fromDir.ToEuler(RotationOrderYXZ),
                                                           zVector(1, 1, 1), zVector(0, 0, 0)))
            .GetRow(2);
    // Euler angles of a direction's basis rebuild its z axis: the direction itself.
    const zVector unit = dir.Normalized();
    EXPECT_NEAR(unit.x, roundTrip.x, 1e-5f);
    EXPECT_NEAR(unit.y, roundTrip.y, 1e-5f);
    EXPECT_NEAR(unit.z, roundTrip.z, 1e-5f);

    const zScriptError instanceType{"invalid instance type"};
    const zScriptError wrongCount{"wrong number of parameters"};
    const zVector zero(0, 0, 0, 1);
    CheckAll({
        {"matrix_to_euler_yxz", fromDir.ToEuler(RotationOrderYXZ)},
        {"matrix_to_euler_zxy", fromDir.ToEuler(RotationOrderZXY)},
        {"matrix_to_euler_xy", fromDir.ToEuler(RotationOrderXY)},
        {"matrix_to_euler_zyx_is_zero", zero},
        {"matrix_to_euler_xyz_is_zero", zero},
        {"matrix_to_euler_matrix4", instanceType},
        {"matrix_to_euler_vector", instanceType},
        {"matrix_to_euler_float_order", zScriptErrorStart{"parameter 2 has an invalid type"}},
        {"matrix_to_euler_missing_order", wrongCount},

        {"euler_from_direction", fromDir.ToEuler(RotationOrderYXZ)},
        {"euler_from_zero", zero},
        {"euler_from_subclass", fromDir.ToEuler(RotationOrderYXZ)},
        {"euler_from_matrix", instanceType},
        {"euler_from_number", zScriptErrorStart{"parameter 1 has an invalid type"}},

        {"rotation_from_direction", fromDir},
        {"rotation_from_vertical", vertical},
        {"rotation_from_vertical_row0", zVector(-1, 0, 0)},
        {"rotation_from_vertical_row2", zVector(0, 1, 0)},
        {"rotation_from_matrix", instanceType},
        {"rotation_too_many", wrongCount},

        {"transformation", transform},
        {"transformation_translation_only", zMatrix4::TranslationMatrix(pos)},
        {"transformation_ignores_w",
         zMatrix4::FromTransformation(zVector(1, 2, 3), zVector(0, 0, 0), zVector(1, 1, 1), zVector(0, 0, 0))},
        {"transformation_bad_last", instanceType},
        {"transformation_bad_first", instanceType},
        {"transformation_too_few", wrongCount},

        {"chain_point_through_matrices", pos.Transform(transform).Rotate(rot)},
        {"chain_matrix_products", (zMatrix4::FromMatrix3(fromDir) * transform).GetRow(3, true)},
        {"chain_vector_expression",
         (pos * 2.0f + dir.Cross(angles)).Normalized() * 3.0f - scale.DivideScalar(2.0f)},
        {"chain_euler_round_trip", roundTrip},
        {"chain_basis_times_euler", (fromDir * rot).ToEuler(RotationOrderYXZ)},
        {"chain_loop", acc},
    });
}

} // namespace
