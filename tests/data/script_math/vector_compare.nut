// Comparisons: "==" is identity, "<=>" and the ordered operators go through
// _cmp, whose bool the VM reads as 0 or 1 (1 when nearly equal).
a <- Vector(1.0, 2.0, 3.0)
almost <- Vector(1.0000005, 2.0, 3.0)
far <- Vector(1.0, 2.0, 3.5)

cases <- {
    eq_same_instance = @() a == a,
    eq_equal_values = @() a == Vector(1.0, 2.0, 3.0),
    ne_equal_values = @() a != Vector(1.0, 2.0, 3.0),
    spaceship_nearly_equal = @() a <=> almost,
    spaceship_different = @() a <=> far,
    less_nearly_equal = @() a < almost,
    less_different = @() a < far,
    less_equal_nearly_equal = @() a <= almost,
    less_equal_different = @() a <= far,
    greater_nearly_equal = @() a > almost,
    greater_different = @() a > far,
    greater_equal_different = @() a >= far,
    cmp_other_class = @() a <=> Matrix3(),
    cmp_number = @() a <=> 1.0,
}
