// "Matrix4": construction, element keys, rows and columns, products.
r0 <- Vector(1.0, 2.0, 3.0, 4.0)
r1 <- Vector(5.0, 6.0, 7.0, 8.0)
r2 <- Vector(9.0, 10.0, 11.0, 12.0)
r3 <- Vector(13.0, 14.0, 15.0, 16.0)
byRows <- Matrix4(r0, r1, r2, r3)
t <- Matrix4(1, 0, 0, 0,  0, 1, 0, 0,  0, 0, 1, 0,  5, 6, 7, 1)
rot <- Matrix4(0.0, 1.0, 0.0, 0.0,  -1.0, 0.0, 0.0, 0.0,  0.0, 0.0, 1.0, 0.0,  0.0, 0.0, 0.0, 1.0)
m3 <- Matrix3(0.5, 1.0, 1.5,  2.0, 2.5, 3.0,  3.5, 4.0, 4.5)
point <- Vector(1.0, 2.0, 3.0)

class Placement extends Matrix4 {
    function Origin() { return GetRow(3) }
}
placed <- Placement(1, 0, 0, 0,  0, 1, 0, 0,  0, 0, 1, 0,  5, 6, 7, 1)

cases <- {
    identity = @() Matrix4(),
    typeof_matrix = @() typeof Matrix4(),
    sixteen_numbers_row_by_row = @() Matrix4(1, 2, 3, 4,  5, 6, 7, 8,  9, 10, 11, 12,  13, 14, 15, 16),
    four_rows_keep_w = @() byRows,
    translation_matrix = @() t,
    translation_m03 = @() t.m03,
    translation_m13 = @() t["m13"],
    translation_m23 = @() t.m23,
    translation_row3 = @() t.GetRow(3),
    wrong_count = @() Matrix4(1.0, 2.0),
    wrong_count_seventeen = @() Matrix4(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17),
    row_not_vector = @() Matrix4(r0, r1, r2, m3),
    row_number = @() Matrix4(r0, r1, r2, 1.0),
    string_argument = @() Matrix4("a"),
    late_non_number_reads_0 = @() Matrix4(1, 2, 3, 4,  5, 6, 7, 8,  9, 10, 11, 12,  13, 14, 15, "x"),

    get_m12 = @() byRows.m12,
    get_m30 = @() byRows.m30,
    get_m44 = @() byRows.m44,
    get_short_key = @() byRows.m1,
    get_int_key = @() byRows[0],
    set_element = function() { local m = Matrix4(); m.m21 = 4.5; return m },
    set_element_int = function() { local m = Matrix4(); m["m03"] = 3; return m },
    set_bad_key = function() { local m = Matrix4(); m.m40 = 1.0; return m },

    product = @() t * rot,
    product_applies_right_first = @() point * (t * rot),
    product_other_class = @() t * m3,
    product_vector = @() t * point,

    get_row_0 = @() byRows.GetRow(0),
    get_row_2 = @() byRows.GetRow(2),
    get_column_1 = @() byRows.GetColumn(1),
    get_column_3 = @() byRows.GetColumn(3),
    set_row_0 = function() { local m = clone byRows; m.SetRow(0, Vector(-1.0, -2.0, -3.0, 9.0)); return m },
    set_row_3 = function() { local m = Matrix4(); m.SetRow(3, Vector(4.0, 5.0, 6.0)); return m },
    set_column_0 = function() { local m = clone byRows; m.SetColumn(0, Vector(-1.0, -2.0, -3.0, 9.0)); return m },
    set_column_2 = function() { local m = Matrix4(); m.SetColumn(2, Vector(4.0, 5.0, 6.0)); return m },
    set_row_not_vector = function() { local m = Matrix4(); m.SetRow(0, m3); return m },
    set_row_returns_null = @() Matrix4().SetRow(1, point),
    get_row_float_index = @() byRows.GetRow(1.0),

    get_row_4 = @() byRows.GetRow(4),
    get_row_negative = @() byRows.GetRow(-1),
    get_column_4 = @() byRows.GetColumn(4),
    get_column_huge = @() byRows.GetColumn(1000000),
    set_row_4 = function() { local m = Matrix4(); m.SetRow(4, point); return m },
    set_row_negative = function() { local m = Matrix4(); m.SetRow(-3, point); return m },
    set_column_4 = function() { local m = Matrix4(); m.SetColumn(4, point); return m },
    set_column_negative = function() { local m = Matrix4(); m.SetColumn(-1, point); return m },
    out_of_range_leaves_matrix = function() {
        local m = clone byRows
        try { m.SetRow(7, point) } catch (e) {}
        try { m.SetColumn(-2, point) } catch (e) {}
        return m
    },

    as_matrix3 = @() byRows.AsMatrix3(),
    rotation_from_matrix3 = function() { local m = clone byRows; m.RotationFromMatrix3(m3); return m },
    rotation_from_matrix4 = function() { local m = Matrix4(); m.RotationFromMatrix3(byRows); return m },
    clone_is_own = function() { local c = clone byRows; c.m00 = 100.0; return byRows },
    clone_copies = @() clone byRows,
    method_on_vector = @() Matrix4.GetRow.call(point, 0),

    subclass_method = @() placed.Origin(),
    subclass_product_left = @() placed * rot,
    subclass_product_right = @() rot * placed,
    subclass_transforms_vector = @() point * placed,
    subclass_apply_matrix = @() point.ApplyMatrix(placed),
    subclass_typeof = @() typeof placed,
}
