// "Matrix3": construction, element keys, rows and columns, products, bases, Euler angles.
r0 <- Vector(1.0, 2.0, 3.0, 7.0)
r1 <- Vector(4.0, 5.0, 6.0)
r2 <- Vector(7.0, 8.0, 9.0)
byRows <- Matrix3(r0, r1, r2)
spin <- Matrix3(0.0, 1.0, 0.0,  -1.0, 0.0, 0.0,  0.0, 0.0, 1.0)
tilt <- Matrix3(1.0, 0.0, 0.0,  0.0, 0.6, 0.8,  0.0, -0.8, 0.6)
dir <- Vector(1.0, 2.0, -2.0)
up <- Vector(0.0, 1.0, 0.25)
point <- Vector(1.0, 2.0, 3.0)

class Turn extends Matrix3 {}
turn <- Turn(0.0, 1.0, 0.0,  -1.0, 0.0, 0.0,  0.0, 0.0, 1.0)

cases <- {
    identity = @() Matrix3(),
    typeof_matrix = @() typeof Matrix3(),
    nine_numbers_row_by_row = @() Matrix3(1, 2, 3,  4, 5, 6,  7, 8, 9),
    three_rows = @() byRows,
    wrong_count = @() Matrix3(r0, r1),
    wrong_count_sixteen = @() Matrix3(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16),
    row_not_vector = @() Matrix3(r0, r1, spin),
    row_number = @() Matrix3(r0, 2.0, r2),

    get_m01 = @() byRows.m01,
    get_m20 = @() byRows["m20"],
    get_m22 = @() byRows.m22,
    get_m33 = @() byRows.m33,
    get_m03 = @() byRows.m03,
    get_int_key = @() byRows[1],
    set_element = function() { local m = Matrix3(); m.m12 = -2.5; return m },
    set_bad_key = function() { local m = Matrix3(); m.m30 = 1.0; return m },

    product = @() spin * tilt,
    product_applies_right_first = @() point * (spin * tilt),
    product_matrix4 = @() spin * Matrix4(),

    get_row_1 = @() byRows.GetRow(1),
    get_column_2 = @() byRows.GetColumn(2),
    set_row_2 = function() { local m = clone byRows; m.SetRow(2, Vector(-1.0, -2.0, -3.0, 5.0)); return m },
    set_column_0 = function() { local m = clone byRows; m.SetColumn(0, Vector(-1.0, -2.0, -3.0, 5.0)); return m },
    set_row_not_vector = function() { local m = Matrix3(); m.SetRow(0, spin); return m },

    get_row_3 = @() byRows.GetRow(3),
    get_row_negative = @() byRows.GetRow(-1),
    get_column_3 = @() byRows.GetColumn(3),
    set_row_3 = function() { local m = Matrix3(); m.SetRow(3, point); return m },
    set_column_3 = function() { local m = Matrix3(); m.SetColumn(3, point); return m },
    set_column_negative = function() { local m = Matrix3(); m.SetColumn(-7, point); return m },

    as_matrix4 = @() byRows.AsMatrix4(),
    basis_direction = @() Matrix3().FromOrthonormalBasis(dir),
    basis_direction_up = @() Matrix3().FromOrthonormalBasis(dir, up),
    basis_vertical = @() Matrix3().FromOrthonormalBasis(Vector(0.0, 3.0, 0.0)),
    basis_zero = @() Matrix3().FromOrthonormalBasis(Vector()),
    basis_on_any_value = @() Matrix3.FromOrthonormalBasis.call(5, dir),
    basis_too_many = @() Matrix3().FromOrthonormalBasis(dir, up, up),
    basis_not_vector = @() Matrix3().FromOrthonormalBasis(spin),
    slerp_quarter = @() spin.SlerpTo(0.25, tilt),
    slerp_one = @() spin.SlerpTo(1.0, tilt),
    slerp_other_class = @() spin.SlerpTo(0.5, point),

    euler_default = @() tilt.AsEuler(),
    euler_yxz = @() (spin * tilt).AsEuler(4),
    euler_zxy = @() (spin * tilt).AsEuler(2),
    euler_xy = @() (tilt * spin).AsEuler(6),
    euler_zyx_is_zero = @() (spin * tilt).AsEuler(0),
    euler_unknown_is_zero = @() (spin * tilt).AsEuler(42),
    euler_float_order = @() tilt.AsEuler(4.0),

    clone_is_own = function() { local c = clone byRows; c.m00 = 100.0; return byRows },

    subclass_product = @() turn * tilt,
    subclass_rotates_vector = @() point * turn,
    subclass_in_matrix4 = function() { local m = Matrix4(); m.RotationFromMatrix3(turn); return m },
    subclass_to_euler = @() MatrixToEuler(turn, 4),
    subclass_slerp_argument = @() tilt.SlerpTo(0.5, turn),
}
