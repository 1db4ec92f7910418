#include "manager_binding/MathScriptFixture.h"

#include <algorithm>
#include <limits>

#include "framework/math/zRandom.h"

namespace {

zVector Each(const zVector& a, float (*op)(float, float), const zVector& b)
{
    return zVector(op(a.x, b.x), op(a.y, b.y), op(a.z, b.z));
}

float Min(float x, float y)
{
    return std::min(x, y);
}

float Max(float x, float y)
{
    return std::max(x, y);
}

TEST_F(MathScriptTest, VectorOperatorsAndMethods)
{
    SeedRandom(2024); // an unseeded generator stays at zero
    RunCases("vector_ops.nut");
    const zVector a = Global("a");
    const zVector b = Global("b");
    const zVector p345 = Global("p345");
    const zVector n352 = Global("n352");
    const zMatrix3 m3 = GlobalMatrix3("m3");
    const zMatrix4 m4 = GlobalMatrix4("m4");
    ASSERT_EQ(9.0f, a.w);
    ASSERT_EQ(6.0f, p345.w);
    const float inf = std::numeric_limits<float>::infinity();
    const zScriptError instanceType{"invalid instance type"};
    const zScriptErrorStart maskRejects{"parameter 1 has an invalid type"};
    const zScriptError addMessage{"Vector + operator: Invalid argument type.\n"};
    const zScriptError subMessage{"Vector - operator: Invalid argument type.\n"};
    const zScriptError mulMessage{"Vector * operator: Invalid argument type.\n"};
    const zScriptError divMessage{"Vector / operator: Invalid argument type.\n"};
    const zScriptError minMessage{"Vector Min(): Invalid parameter list.\n"};
    const zScriptError maxMessage{"Vector Max(): Invalid parameter list.\n"};
    auto sum = [](const zVector& v, float f) { return zVector(v.x + f, v.y + f, v.z + f); };
    auto splat = [](float f) { return zVector(f, f, f); };

    CheckAll({
        {"add_vector", a + b},
        {"add_float", sum(a, 0.5f)},
        {"add_int", addMessage},
        {"add_matrix", instanceType},
        {"sub_vector", a - b},
        {"sub_float", sum(a, -0.5f)},
        {"sub_int", subMessage},
        {"sub_matrix", instanceType},
        {"mul_float", a * 2.0f},
        {"mul_int", mulMessage},
        {"mul_vector", zVector(a.x * b.x, a.y * b.y, a.z * b.z)},
        {"mul_matrix3", a.Rotate(m3)},
        {"mul_matrix4", a.Transform(m4)},
        {"mul_table", maskRejects},
        {"mul_null", maskRejects},
        {"div_float", a.DivideScalar(4.0f)},
        {"div_float_zero", zVector(0, 0, 0, 1)},
        {"div_int", divMessage},
        {"div_vector", zVector(a.x / b.x, a.y / b.y, a.z / b.z)},
        {"div_vector_zero_component", zVector(a.x, -inf, a.z / 2.0f)},
        {"div_matrix", instanceType},
        {"unary_minus_missing", zScriptErrorStart{"attempt to negate"}},

        {"apply_matrix3", a.Rotate(m3)},
        {"apply_matrix4", a.Transform(m4)},
        {"apply_matrix_vector", zScriptError{"Vector::ApplyMatrix(): Invalid parameter"}},
        {"apply_rotation_matrix3", a.Rotate(m3)},
        {"apply_rotation_matrix4", a.Rotate(zMatrix3::FromMatrix4(m4))},
        {"apply_rotation_vector", zScriptError{"Vector::ApplyRotationMatrix(): Invalid parameter"}},
        {"apply_matrix_float", maskRejects},

        {"add_real", sum(a, 2.0f)},
        {"mul_real", a * 1.5f},
        {"sub_real", sum(a, -0.25f)},
        {"div_real", a * (1.0f / 4.0f)},
        {"div_real_zero", zVector(inf, -inf, inf)},
        {"scale", a * -3.0f},
        {"add_real_string", maskRejects},

        {"clamp_numbers", a.Clamp(splat(-1), splat(2))},
        {"clamp_vectors", a.Clamp(zVector(2, -3, 0), zVector(3, 0, 1))},
        {"clamp_mixed", a.Clamp(zVector(0, -1, 0), splat(1))},
        {"clamp_other_class", instanceType},
        {"clamp_magnitude_long", a.ClampMagnitude(0.0f, 2.0f)},
        {"clamp_magnitude_within_keeps_w", p345},
        {"clamp_magnitude_zero", zVector(0, 0, 0, 1)},
        {"reverse", -a},

        {"min_vector", Each(a, Min, b)},
        {"max_vector", Each(a, Max, b)},
        {"min_one_float", Each(n352, Min, zVector(1, 0, 0))},
        {"max_one_float", Each(n352, Max, zVector(1, 0, 0))},
        {"min_three_floats", Each(n352, Min, zVector(4, 1, -5))},
        {"max_three_floats", Each(n352, Max, zVector(4, 1, -5))},
        {"min_int", minMessage},
        {"max_int", maxMessage},
        {"min_two_floats", minMessage},
        {"max_two_floats", maxMessage},
        {"min_other_class", instanceType},

        {"dot", a.Dot(b)},
        {"cross", a.Cross(b)},
        {"len", a.Length()},
        {"len2", a.SquaredLength()},
        {"angle", std::acos(0.0f)},
        {"angle_clamped", 0.0f},
        {"angle_not_normalised", std::acos(std::clamp(a.Dot(b), -1.0f, 1.0f))},
        {"normalize", a.Normalized()},
        {"normalize_length", p345.Normalized() * 5.0f},
        {"normalize_zero", zVector(0, 0, 0, 1)},
        {"dist", VectorDistance(a, b)},
        {"dist2", VectorDistanceSquared(a, b)},
        {"lerp", a * 0.25f + b * 0.75f},
        {"lerp_one", zVector(a.x, a.y, a.z)},
        {"lerp_zero", zVector(b.x, b.y, b.z)},
        {"dot_float", maskRejects},
        {"dot_matrix", instanceType},

        {"is_equal_near", true},
        {"is_equal_far", false},
        {"is_equal_tolerance", true},
        {"is_equal_too_many", zScriptError{"Vector::IsEqual() wrong parameter count"}},
        {"is_equal_other_class", instanceType},

        {"randomize_in_range", true},
        {"randomize_max_only", true},
        {"randomize_on_any_value", std::string("Vector")},
        {"randomize_spreads", true},

        {"method_on_other_class", instanceType},
        {"method_on_table", zScriptErrorStart{"parameter 0 has an invalid type"}},
        {"too_few_arguments", zScriptError{"wrong number of parameters"}},
        {"too_many_arguments", zScriptError{"wrong number of parameters"}},
        {"results_are_new", a},
    });
}

TEST_F(MathScriptTest, VectorRandomizeDrawsFromTheEngineGenerator)
{
    SeedRandom(99);
    ASSERT_TRUE(RunText("r1 <- Vector().Randomize(-10.0, 10.0); r2 <- Vector().Randomize(5.0)"));
    SeedRandom(99);
    const zVector first = zVector::Random(-10.0f, 10.0f);
    const zVector second = zVector::Random(0.0f, 5.0f);
    const zVector r1 = Global("r1");
    const zVector r2 = Global("r2");
    EXPECT_EQ(first.x, r1.x);
    EXPECT_EQ(first.y, r1.y);
    EXPECT_EQ(first.z, r1.z);
    EXPECT_EQ(1.0f, r1.w);
    EXPECT_EQ(second.x, r2.x);
    EXPECT_EQ(second.y, r2.y);
    EXPECT_EQ(second.z, r2.z);
}

} // namespace
