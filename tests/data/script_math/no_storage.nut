// Instances whose user pointer was cleared by native code: "empty" (Vector),
// "emptyM3" and "emptyM4" are set up by the test.
v <- Vector(1.0, 2.0, 3.0)

cases <- {
    vector_method = @() empty.Len(),
    vector_operator = @() empty + v,
    vector_key = @() empty.x,
    vector_argument = @() v.Dot(empty),
    vector_operator_argument = @() v + empty,
    vector_copy = @() Vector(empty),
    matrix4_rows = @() Matrix4(v, v, v, empty),
    matrix3_rows = @() Matrix3(v, empty, v),
    matrix4_method = @() emptyM4.GetRow(0),
    matrix3_method = @() emptyM3.AsEuler(),
    matrix3_argument = @() Matrix4().RotationFromMatrix3(emptyM3),
    function_argument = @() EulerFromDirection(empty),
    function_matrix_argument = @() MatrixToEuler(emptyM3, 4),
}
