// Script classes derived from "Vector" pass wherever a Vector is expected.
class Point extends Vector {
    label = null
    constructor(x, y, z, name) {
        base.constructor(x, y, z)
        label = name
    }
    function Twice() { return this * 2.0 }
}

class Plain extends Vector {}

class Bare extends Vector {
    constructor() {}
}

p <- Point(1.0, -2.0, 4.0, "p")
q <- Plain(0.5, 0.25, -1.0)
u <- Vector(3.0, 1.0, 2.0)
m4 <- Matrix4(1.0, 0.0, 0.0, 0.0,  0.0, 0.0, 1.0, 0.0,  0.0, -1.0, 0.0, 0.0,  2.0, 3.0, 4.0, 1.0)

cases <- {
    subclass_reads_members = @() p.y,
    subclass_keeps_own_fields = @() p.label,
    subclass_typeof = @() typeof p,
    subclass_instanceof = @() p instanceof Vector,
    subclass_method = @() p.Twice(),
    subclass_plus_vector = @() p + u,
    vector_plus_subclass = @() u + p,
    subclass_cross = @() u.Cross(p),
    subclass_as_argument_dot = @() q.Dot(p),
    subclass_result_is_plain_vector = @() (p + u) instanceof Point,
    subclass_result_class = @() typeof (p * 2.0),
    subclass_copy_constructor = @() Vector(p),
    subclass_times_matrix = @() p * m4,
    subclass_matrix_rows = @() Matrix4(p, q, u, Vector()),
    subclass_matrix_set_row = function() { local m = Matrix3(); m.SetRow(1, q); return m },
    subclass_function_argument = @() TransformationMatrix(p, Vector(), Plain(1.0, 1.0, 1.0), Vector()),
    subclass_clone = function() { local c = clone p; c.x = 9.0; return p.x + "," + c.x + "," + c.label },
    subclass_default_constructor = @() Plain(),
    subclass_without_base_constructor = @() Bare().Len(),
    subclass_compare = @() p <=> Point(1.0, -2.0, 4.0, "other"),
    subclass_set = function() { local c = Point(0, 0, 0, "c"); c.Set(7.0, 8.0); return c },
}
