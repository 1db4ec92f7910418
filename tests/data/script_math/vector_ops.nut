// Operators and methods of "Vector"; the inputs are read back by the test.
a <- Vector(1.5, -2.0, 3.25, 9.0)
b <- Vector(0.5, 4.0, -1.0, 2.0)
z0 <- Vector(0.0, 0.0, 0.0)
p345 <- Vector(0.0, 3.0, 4.0, 6.0)
n352 <- Vector(3.0, 5.0, -2.0)
near <- Vector(1.5 + 0.0000005, -2.0, 3.25)
m3 <- Matrix3(0.0, 1.0, 0.0,  -1.0, 0.0, 0.0,  0.0, 0.0, 2.0)
m4 <- Matrix4(0.0, 1.0, 0.0, 0.0,  -1.0, 0.0, 0.0, 0.0,  0.0, 0.0, 2.0, 0.0,  5.0, 6.0, 7.0, 1.0)

cases <- {
    add_vector = @() a + b,
    add_float = @() a + 0.5,
    add_int = @() a + 2,
    add_matrix = @() a + m3,
    sub_vector = @() a - b,
    sub_float = @() a - 0.5,
    sub_int = @() a - 1,
    sub_matrix = @() a - m4,
    mul_float = @() a * 2.0,
    mul_int = @() a * 2,
    mul_vector = @() a * b,
    mul_matrix3 = @() a * m3,
    mul_matrix4 = @() a * m4,
    mul_table = @() a * {},
    mul_null = @() a * null,
    div_float = @() a / 4.0,
    div_float_zero = @() a / 0.0,
    div_int = @() a / 2,
    div_vector = @() a / b,
    div_vector_zero_component = @() a / Vector(1.0, 0.0, 2.0),
    div_matrix = @() a / m3,
    unary_minus_missing = @() -a,

    apply_matrix3 = @() a.ApplyMatrix(m3),
    apply_matrix4 = @() a.ApplyMatrix(m4),
    apply_matrix_vector = @() a.ApplyMatrix(b),
    apply_rotation_matrix3 = @() a.ApplyRotationMatrix(m3),
    apply_rotation_matrix4 = @() a.ApplyRotationMatrix(m4),
    apply_rotation_vector = @() a.ApplyRotationMatrix(b),
    apply_matrix_float = @() a.ApplyMatrix(1.0),

    add_real = @() a.AddReal(2),
    mul_real = @() a.MulReal(1.5),
    sub_real = @() a.SubReal(0.25),
    div_real = @() a.DivReal(4),
    div_real_zero = @() a.DivReal(0),
    scale = @() a.Scale(-3),
    add_real_string = @() a.AddReal("1"),

    clamp_numbers = @() a.Clamp(-1, 2),
    clamp_vectors = @() a.Clamp(Vector(2.0, -3.0, 0.0), Vector(3.0, 0.0, 1.0)),
    clamp_mixed = @() a.Clamp(Vector(0.0, -1.0, 0.0), 1.0),
    clamp_other_class = @() a.Clamp(m3, 1.0),
    clamp_magnitude_long = @() a.ClampMagnitude(2.0),
    clamp_magnitude_within_keeps_w = @() p345.ClampMagnitude(10.0),
    clamp_magnitude_zero = @() z0.ClampMagnitude(1.0),
    reverse = @() a.Reverse(),

    min_vector = @() a.Min(b),
    max_vector = @() a.Max(b),
    min_one_float = @() n352.Min(1.0),
    max_one_float = @() n352.Max(1.0),
    min_three_floats = @() n352.Min(4.0, 1.0, -5.0),
    max_three_floats = @() n352.Max(4.0, 1.0, -5.0),
    min_int = @() n352.Min(1),
    max_int = @() n352.Max(1),
    min_two_floats = @() n352.Min(1.0, 2.0),
    max_two_floats = @() n352.Max(1.0, 2.0),
    min_other_class = @() n352.Min(m4),

    dot = @() a.Dot(b),
    cross = @() a.Cross(b),
    len = @() a.Len(),
    len2 = @() a.Len2(),
    angle = @() Vector(1.0, 0.0, 0.0).AngleWithVector(Vector(0.0, 1.0, 0.0)),
    angle_clamped = @() Vector(2.0, 0.0, 0.0).AngleWithVector(Vector(2.0, 0.0, 0.0)),
    angle_not_normalised = @() a.AngleWithVector(b),
    normalize = @() a.Normalize(),
    normalize_length = @() p345.Normalize(5),
    normalize_zero = @() z0.Normalize(),
    dist = @() a.Dist(b),
    dist2 = @() a.Dist2(b),
    lerp = @() a.Lerp(0.25, b),
    lerp_one = @() a.Lerp(1.0, b),
    lerp_zero = @() a.Lerp(0, b),
    dot_float = @() a.Dot(1.0),
    dot_matrix = @() a.Dot(m3),

    is_equal_near = @() a.IsEqual(a + Vector(0.00009, 0.0, 0.0)),
    is_equal_far = @() a.IsEqual(a + Vector(0.0, 0.0002, 0.0)),
    is_equal_tolerance = @() a.IsEqual(a + Vector(0.0, 0.5, 0.0), 0.6),
    is_equal_too_many = @() a.IsEqual(b, 1.0, 2.0),
    is_equal_other_class = @() a.IsEqual(m3),

    randomize_in_range = function() {
        for (local i = 0; i < 200; i++) {
            local r = a.Randomize(2.0, 3.0)
            if (r.x < 2.0 || r.x >= 3.0 || r.y < 2.0 || r.y >= 3.0 || r.z < 2.0 || r.z >= 3.0 || r.w != 1.0)
                return r
        }
        return true
    },
    randomize_max_only = function() {
        for (local i = 0; i < 200; i++) {
            local r = a.Randomize(0.5)
            if (r.x < 0.0 || r.x >= 0.5 || r.y < 0.0 || r.y >= 0.5 || r.z < 0.0 || r.z >= 0.5)
                return r
        }
        return true
    },
    randomize_on_any_value = @() typeof Vector.Randomize.call(12, 1.0),
    randomize_spreads = function() {
        local r = a.Randomize(-1000.0, 1000.0)
        return !(r.x == r.y && r.y == r.z)
    },

    method_on_other_class = @() Vector.Len.call(m3),
    method_on_table = @() Vector.Len.call({}),
    too_few_arguments = @() a.Dot(),
    too_many_arguments = @() a.Cross(b, b),

    results_are_new = function() {
        local c = a.Reverse()
        c.x = 77.0
        return a
    },
}
