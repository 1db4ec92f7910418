// Instances made without running their constructor (a class's instance())
// hold no value: they are refused as instances without storage are.
v <- Vector(1.0, 2.0, 3.0)

cases <- {
    vector_method = @() Vector.instance().Len(),
    vector_operator = @() Vector.instance() + v,
    vector_key = @() Vector.instance().x,
    vector_set_key = function() { local u = Vector.instance(); u.x = 5.0; return u },
    vector_set_values = @() Vector.instance().Set(1.0, 2.0),
    vector_argument = @() v.Dot(Vector.instance()),
    vector_operator_argument = @() v + Vector.instance(),
    vector_times_unconstructed_matrix = @() v * Matrix4.instance(),
    vector_copy = @() Vector(Vector.instance()),
    vector_clone = @() clone Vector.instance(),
    constructor_run_later = function() { local u = Vector.instance(); u.constructor(1.0, 2.0, 3.0); return u },
    matrix4_rows = @() Matrix4(v, v, Vector.instance(), v),
    matrix3_rows = @() Matrix3(v, Vector.instance(), v),
    matrix4_method = @() Matrix4.instance().GetRow(0),
    matrix4_key = @() Matrix4.instance().m03,
    matrix3_method = @() Matrix3.instance().AsEuler(),
    matrix4_product = @() Matrix4() * Matrix4.instance(),
    matrix3_argument = @() Matrix4().RotationFromMatrix3(Matrix3.instance()),
    matrix3_constructor_run_later = function() { local m = Matrix3.instance(); m.constructor(); return m },
    function_argument = @() EulerFromDirection(Vector.instance()),
    function_matrix_argument = @() MatrixToEuler(Matrix3.instance(), 4),
}
