#include "manager_binding/MathScriptFixture.h"

namespace {

zMatrix4 WithRow(zMatrix4 m, int i, const zVector& v)
{
    m.SetRow(i, v, true);
    return m;
}

zMatrix4 WithColumn(zMatrix4 m, int i, const zVector& v)
{
    m.SetColumn(i, v, true);
    return m;
}

zMatrix4 WithElement(zMatrix4 m, int i, float value)
{
    m.m[i] = value;
    return m;
}

TEST_F(MathScriptTest, Matrix4ConstructionKeysRowsAndProducts)
{
    RunCases("matrix4.nut");
    const zVector r0 = Global("r0");
    const zVector r1 = Global("r1");
    const zVector r2 = Global("r2");
    const zVector r3 = Global("r3");
    const zVector point = Global("point");
    const zMatrix4 byRows = Matrix4FromRows(r0, r1, r2, r3);
    const zMatrix4 t = zMatrix4::TranslationMatrix(zVector(5, 6, 7));
    const zMatrix4 rot = GlobalMatrix4("rot");
    const zMatrix3 m3 = GlobalMatrix3("m3");
    ASSERT_EQ(4.0f, r0.w);

    // The product's transform applies the right operand first.
    const zVector viaProduct = point.Transform(t * rot);
    const zVector stepwise = point.Transform(rot).Transform(t);
    EXPECT_FLOAT_EQ(stepwise.x, viaProduct.x);
    EXPECT_FLOAT_EQ(stepwise.y, viaProduct.y);
    EXPECT_FLOAT_EQ(stepwise.z, viaProduct.z);

    zMatrix4 rotated = byRows;
    for (int i = 0; i < 3; ++i) {
        const zVector row = m3.GetRow(i);
        rotated.m[i] = row.x;
        rotated.m[i + 4] = row.y;
        rotated.m[i + 8] = row.z;
    }

    const zScriptError instanceType{"invalid instance type"};
    const zScriptError wrongCount{"Matrix4() wrong parameter count"};
    const zScriptErrorStart missing{"the index"};
    const zScriptErrorStart maskRejects{"parameter 1 has an invalid type"};
    CheckAll({
        {"identity", zMatrix4()},
        {"typeof_matrix", std::string("Matrix4")},
        {"sixteen_numbers_row_by_row",
         Matrix4FromRows(zVector(1, 2, 3, 4), zVector(5, 6, 7, 8), zVector(9, 10, 11, 12), zVector(13, 14, 15, 16))},
        {"four_rows_keep_w", byRows},
        {"translation_matrix", t},
        {"translation_m03", 5.0f},
        {"translation_m13", 6.0f},
        {"translation_m23", 7.0f},
        {"translation_row3", zVector(5, 6, 7, 1)},
        {"wrong_count", wrongCount},
        {"wrong_count_seventeen", wrongCount},
        {"row_not_vector", instanceType},
        {"row_number", instanceType},
        {"string_argument", maskRejects},
        {"late_non_number_reads_0",
         Matrix4FromRows(zVector(1, 2, 3, 4), zVector(5, 6, 7, 8), zVector(9, 10, 11, 12), zVector(13, 14, 15, 0))},

        {"get_m12", byRows.m[6]},
        {"get_m30", byRows.m[12]},
        {"get_m44", missing},
        {"get_short_key", missing},
        {"get_int_key", maskRejects},
        {"set_element", WithElement(zMatrix4(), 9, 4.5f)},
        {"set_element_int", WithElement(zMatrix4(), 3, 3.0f)},
        {"set_bad_key", missing},

        {"product", t * rot},
        {"product_applies_right_first", viaProduct},
        {"product_other_class", instanceType},
        {"product_vector", instanceType},

        {"get_row_0", byRows.GetRow(0, true)},
        {"get_row_2", byRows.GetRow(2, true)},
        {"get_column_1", byRows.GetColumn(1, true)},
        {"get_column_3", byRows.GetColumn(3, true)},
        {"set_row_0", WithRow(byRows, 0, zVector(-1, -2, -3, 9))},
        {"set_row_3", WithRow(zMatrix4(), 3, zVector(4, 5, 6))},
        {"set_column_0", WithColumn(byRows, 0, zVector(-1, -2, -3, 9))},
        {"set_column_2", WithColumn(zMatrix4(), 2, zVector(4, 5, 6))},
        {"set_row_not_vector", instanceType},
        {"set_row_returns_null", zScriptNull{}},
        {"get_row_float_index", maskRejects},

        {"get_row_4", zScriptError{"Matrix4::GetRow(): row index 4 out of range (0 to 3)"}},
        {"get_row_negative", zScriptError{"Matrix4::GetRow(): row index -1 out of range (0 to 3)"}},
        {"get_column_4", zScriptError{"Matrix4::GetColumn(): column index 4 out of range (0 to 3)"}},
        {"get_column_huge", zScriptError{"Matrix4::GetColumn(): column index 1000000 out of range (0 to 3)"}},
        {"set_row_4", zScriptError{"Matrix4::SetRow(): row index 4 out of range (0 to 3)"}},
        {"set_row_negative", zScriptError{"Matrix4::SetRow(): row index -3 out of range (0 to 3)"}},
        {"set_column_4", zScriptError{"Matrix4::SetColumn(): column index 4 out of range (0 to 3)"}},
        {"set_column_negative", zScriptError{"Matrix4::SetColumn(): column index -1 out of range (0 to 3)"}},
        {"out_of_range_leaves_matrix", byRows},

        {"as_matrix3", zMatrix3::FromMatrix4(byRows)},
        {"rotation_from_matrix3", rotated},
        {"rotation_from_matrix4", instanceType},
        {"clone_is_own", byRows},
        {"clone_copies", byRows},
        {"method_on_vector", instanceType},

        {"subclass_method", zVector(5, 6, 7)},
        {"subclass_product_left", t * rot},
        {"subclass_product_right", rot * t},
        {"subclass_transforms_vector", point.Transform(t)},
        {"subclass_apply_matrix", point.Transform(t)},
        {"subclass_typeof", std::string("Matrix4")},
    });
}

} // namespace

namespace {

zMatrix3 Matrix3FromRows(const zVector& r0, const zVector& r1, const zVector& r2)
{
    zMatrix3 m;
    m.SetRows(r0, r1, r2);
    return m;
}

TEST_F(MathScriptTest, Matrix3ConstructionKeysRowsBasesAndEuler)
{
    RunCases("matrix3.nut");
    const zVector r0 = Global("r0");
    const zVector r1 = Global("r1");
    const zVector r2 = Global("r2");
    const zVector dir = Global("dir");
    const zVector up = Global("up");
    const zVector point = Global("point");
    const zMatrix3 byRows = Matrix3FromRows(r0, r1, r2);
    const zMatrix3 spin = GlobalMatrix3("spin");
    const zMatrix3 tilt = GlobalMatrix3("tilt");

    const zVector viaProduct = point.Rotate(spin * tilt);
    const zVector stepwise = point.Rotate(tilt).Rotate(spin);
    EXPECT_FLOAT_EQ(stepwise.x, viaProduct.x);
    EXPECT_FLOAT_EQ(stepwise.y, viaProduct.y);
    EXPECT_FLOAT_EQ(stepwise.z, viaProduct.z);

    zMatrix3 withElement;
    withElement.m[5] = -2.5f;
    zMatrix3 withRow = byRows;
    withRow.SetRow(2, zVector(-1, -2, -3));
    zMatrix3 withColumn = byRows;
    withColumn.SetColumn(0, zVector(-1, -2, -3));

    const zScriptError instanceType{"invalid instance type"};
    const zScriptError wrongCount{"Matrix3() wrong parameter count"};
    const zScriptErrorStart missing{"the index"};
    const zScriptErrorStart maskRejects{"parameter 1 has an invalid type"};
    const zVector zero(0, 0, 0, 1);
    CheckAll({
        {"identity", zMatrix3()},
        {"typeof_matrix", std::string("Matrix3")},
        {"nine_numbers_row_by_row", Matrix3FromRows(zVector(1, 2, 3), zVector(4, 5, 6), zVector(7, 8, 9))},
        {"three_rows", byRows},
        {"wrong_count", wrongCount},
        {"wrong_count_sixteen", wrongCount},
        {"row_not_vector", instanceType},
        {"row_number", instanceType},

        {"get_m01", byRows.m[1]},
        {"get_m20", byRows.m[6]},
        {"get_m22", byRows.m[8]},
        {"get_m33", missing},
        {"get_m03", missing},
        {"get_int_key", maskRejects},
        {"set_element", withElement},
        {"set_bad_key", missing},

        {"product", spin * tilt},
        {"product_applies_right_first", viaProduct},
        {"product_matrix4", instanceType},

        {"get_row_1", byRows.GetRow(1)},
        {"get_column_2", byRows.GetColumn(2)},
        {"set_row_2", withRow},
        {"set_column_0", withColumn},
        {"set_row_not_vector", instanceType},

        {"get_row_3", zScriptError{"Matrix3::GetRow(): row index 3 out of range (0 to 2)"}},
        {"get_row_negative", zScriptError{"Matrix3::GetRow(): row index -1 out of range (0 to 2)"}},
        {"get_column_3", zScriptError{"Matrix3::GetColumn(): column index 3 out of range (0 to 2)"}},
        {"set_row_3", zScriptError{"Matrix3::SetRow(): row index 3 out of range (0 to 2)"}},
        {"set_column_3", zScriptError{"Matrix3::SetColumn(): column index 3 out of range (0 to 2)"}},
        {"set_column_negative", zScriptError{"Matrix3::SetColumn(): column index -7 out of range (0 to 2)"}},

        {"as_matrix4", zMatrix4::FromMatrix3(byRows)},
        {"basis_direction", zMatrix3::FromDirection(dir)},
        {"basis_direction_up", zMatrix3::FromDirection(dir, &up)},
        {"basis_vertical", zMatrix3::FromDirection(zVector(0, 3, 0))},
        {"basis_zero", zMatrix3()},
        {"basis_on_any_value", zMatrix3::FromDirection(dir)},
        {"basis_too_many", zScriptError{"Matrix3::FromOrthonormalBasis() wrong parameter count"}},
        {"basis_not_vector", instanceType},
        {"slerp_quarter", spin.MulScalar(0.25f).AddMatrix(tilt.MulScalar(0.75f))},
        {"slerp_one", spin},
        {"slerp_other_class", instanceType},

        {"euler_default", tilt.ToEuler(RotationOrderYXZ)},
        {"euler_yxz", (spin * tilt).ToEuler(RotationOrderYXZ)},
        {"euler_zxy", (spin * tilt).ToEuler(RotationOrderZXY)},
        {"euler_xy", (tilt * spin).ToEuler(RotationOrderXY)},
        {"euler_zyx_is_zero", zero},
        {"euler_unknown_is_zero", zero},
        {"euler_float_order", maskRejects},

        {"clone_is_own", byRows},

        {"subclass_product", spin * tilt},
        {"subclass_rotates_vector", point.Rotate(spin)},
        {"subclass_in_matrix4", zMatrix4::FromMatrix3(spin)},
        {"subclass_to_euler", spin.ToEuler(RotationOrderYXZ)},
        {"subclass_slerp_argument", tilt.MulScalar(0.5f).AddMatrix(spin.MulScalar(0.5f))},
    });
}

} // namespace
